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

}  // namespace ado::sqlite
