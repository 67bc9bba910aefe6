#pragma once
// Prepared statements of the Jet provider and the cursor that streams a query's rows.

#include "ado/provider.h"
#include "ado/variant.h"

#include <QString>

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ado::sqlite {

class Handle;

// Rows a streamed query reads at once; a longer result is copied (see CopyCursor).
inline constexpr size_t kRowsReadAtOnce = 256;

// The kind of the values of a column declared with this type (Kind::Null when there is no declared type).
Variant::Kind KindOfDeclaredType(const QString& declared);

// One prepared statement, finalized with the object.
class Statement {
public:
    // Prepares the first statement of sql. Raises ado::Error carrying written.
    Statement(sqlite3* db, const QString& sql, const QString& written);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    const QString& Sql() const { return sql_; }
    sqlite3_stmt* Handle() const { return stmt_; }
    // The text after the first statement, blanks and semicolons stripped; empty for a single statement.
    const QString& Tail() const { return tail_; }
    const std::vector<provider::Column>& Columns() const { return columns_; }

    // Binds values to the parameters 1..n.
    void Bind(const std::vector<Variant>& values);
    // The current row's values, by each column's kind.
    void Read(std::vector<Variant>& row) const;
    // The current row's values from column first on, by the kinds of columns.
    void Read(std::vector<Variant>& row, const std::vector<provider::Column>& columns, int first = 0) const;
    // Makes the statement ready to run again, its parameters unbound.
    void Reset();

private:
    QString sql_;
    QString tail_;
    sqlite3_stmt* stmt_ = nullptr;
    std::vector<provider::Column> columns_;
};

// The rows of a query, stepped one at a time and one row ahead of the reader: the statement is reset as soon
// as its last row has been read, so that a short query (one row, or none) holds no read transaction while the
// program goes on. An open read transaction would keep the connection's view of the file from moving on:
// after another connection commits, this one could not write until the read ended. The statement goes back to
// the handle when the cursor ends.
class Cursor : public provider::Cursor {
public:
    // Takes a statement whose first step has been made: hasRow tells whether it gave a row.
    // Each later step runs within timeoutSeconds (0: no limit).
    Cursor(std::shared_ptr<Handle> handle, std::unique_ptr<Statement> statement, bool hasRow, QString written,
           int timeoutSeconds);
    ~Cursor() override;
    const std::vector<provider::Column>& Columns() const override { return columns_; }
    bool Next(std::vector<Variant>& row) override;

private:
    // Reads the statement's current row into ahead_ and steps to the next one; resets the statement at the
    // end.
    void ReadAhead();

    std::shared_ptr<Handle> handle_;
    std::unique_ptr<Statement> statement_;
    std::vector<provider::Column> columns_;
    std::vector<Variant> ahead_;
    bool haveAhead_ = false;
    bool rowReady_;  // the statement stands on a row not yet read
    QString written_;
    int timeoutSeconds_;
};

// The rows of a short query, all read when it ran.
class BufferedCursor : public provider::Cursor {
public:
    BufferedCursor(std::vector<provider::Column> columns, std::vector<std::vector<Variant>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}
    const std::vector<provider::Column>& Columns() const override { return columns_; }
    bool Next(std::vector<Variant>& row) override;

private:
    std::vector<provider::Column> columns_;
    std::vector<std::vector<Variant>> rows_;
    size_t next_ = 0;
};

// The rows of a long query, copied into a table of the connection's temporary database as they stood when
// the query ran, and read from there kRowsReadAtOnce at a time: between two calls no statement of the
// connection is left running (one would keep the connection's read of the database file open), so the
// connection's writes and other processes' commits go on while the rows are read. The rows the query gave
// before it was copied (first) come first; the copy's rows equal to them are passed over, one for one.
class CopyCursor : public provider::Cursor {
public:
    // Reads the copy in table, whose columns stand for columns, after first. Raises ado::Error.
    CopyCursor(std::shared_ptr<Handle> handle, QString table, std::vector<provider::Column> columns,
               std::vector<std::vector<Variant>> first, QString written, int timeoutSeconds);
    // Empties the copy and gives its table back to the handle.
    ~CopyCursor() override;
    const std::vector<provider::Column>& Columns() const override { return columns_; }
    bool Next(std::vector<Variant>& row) override;

private:
    // True (and forgets it) when row is one of the first rows not yet passed over.
    bool PassOver(const std::vector<Variant>& row);
    // Reads the copy's next rows into chunk_; false when none is left.
    bool ReadChunk();

    std::shared_ptr<Handle> handle_;
    QString table_;
    QString chunkSql_;
    std::vector<provider::Column> columns_;
    BufferedCursor first_;
    std::vector<std::vector<Variant>> toPassOver_;  // the first rows, in the order the copy most likely has
    size_t passOverNext_ = 0;                       // where the copy's next row is looked for first
    size_t passedOver_ = 0;
    std::vector<std::vector<Variant>> chunk_;
    size_t chunkNext_ = 0;
    int64_t lastRowid_ = 0;
    bool copyEnded_ = false;
    QString written_;
    int timeoutSeconds_;
};

}  // namespace ado::sqlite
