#pragma once
// A Jet connection's session on a database file. Sessions of one process on one file share its engine
// handle (see handle.h); a session adds the command time-out and the translation of the program's
// statements.

#include "ado/provider.h"
#include "ado/sql/dialect.h"
#include "ado/sqlite/handle.h"
#include "ado/sqlite/write_groups.h"

#include <QHash>
#include <QString>

#include <memory>

namespace ado::sqlite {

class Session : public provider::Session {
public:
    // Opens file, which must exist. Raises ado::Error (a missing file, not a database, locked).
    Session(const QString& file, const provider::OpenOptions& options);
    ~Session() override;

    std::unique_ptr<provider::Cursor> Query(const QString& sql, provider::Reading reading) override;
    int64_t Execute(const QString& sql) override;
    provider::TableKey UpdatableTable(const QString& sql) override;
    std::unique_ptr<provider::Cursor> SelectByKey(const provider::TableKey& table,
                                                  const Variant& key) override;
    Variant Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override;
    int64_t Update(const provider::TableKey& table, const Variant& key, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override;
    int64_t Delete(const provider::TableKey& table, const Variant& key) override;
    // Sessions of the process share one handle per file: there is no cache of this session's own to refresh.
    void RefreshCache() override {}
    void SetCommandTimeout(int seconds) override { commandTimeoutSeconds_ = seconds; }
    bool Reusable() override;
    void Flush() override;

private:
    // Begins a public call: holds the groups' lock, raises a loss of grouped writes not yet told, and, where
    // sessions do not share handles, commits the other handles' groups so that this one sees their writes.
    EngineCall Enter();
    // How a statement that writes takes part in the write groups.
    enum class Writing {
        OnItsOwn,  // after every group is committed, in a transaction of its own
        Grouped,   // in the handle's open group, which the caller has joined
    };
    // Opens a cursor on a statement with values bound to its parameters; the first step is made. A streamed
    // read that gives more than kRowsReadAtOnce rows is copied (see CopyCursor).
    std::unique_ptr<provider::Cursor> Select(const QString& sql, const std::vector<Variant>& values,
                                             const QString& written, Writing writing = Writing::OnItsOwn,
                                             provider::Reading reading = provider::Reading::Streamed);
    // The rows of a streamed query whose first step gave a row: read at once when they are few, else copied
    // as they stand into a table of the temporary database. The statement ends here.
    std::unique_ptr<provider::Cursor> ReadOrCopy(Lease& statement, const QString& sql,
                                                 const std::vector<Variant>& values, const QString& written);
    struct WriteResult {
        int64_t changes = 0;  // the rows the write changed
        Variant returned;     // the first column of the last row it returned, if any
    };
    // Runs one by-key write of the session's own making, described as what, as part of the handle's write
    // group. The caller has entered.
    WriteResult GroupedWrite(const QString& sql, const std::vector<Variant>& values, const QString& what);

    // How a query of one shape (see sql::ShapeOfNumbers) runs: its prepared text, and for each parameter the
    // number of the query that gives its value. Not usable when the shape keeps a number in the text
    // (ORDER BY 1, a select-list number) or its numbers cannot be told apart.
    struct QueryShape {
        bool usable = false;
        QString text;
        std::vector<int> numberOfParameter;
    };
    // Learns how queries of shape run, from a query made of distinct stand-in numbers.
    static QueryShape LearnShape(const sql::NumberShape& shape);

    std::shared_ptr<Handle> handle_;
    int commandTimeoutSeconds_ = 30;
    QHash<QString, QueryShape> queryShapes_;    // by signature
    QHash<QString, QString> insertStatements_;  // by table and columns
};

}  // namespace ado::sqlite
