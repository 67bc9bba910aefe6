#pragma once
// One open SQLite connection on a database file, shared by every session of the process on that file: its
// prepared statements, its key columns, its time-out and its group of writes not yet committed. Sharing
// one connection makes a row written through one session visible at once to every other, committed or not.
// Every call on a handle, its destruction included, holds its groups' lock (see EngineCall).

#include "ado/error.h"
#include "ado/sqlite/statement.h"
#include "ado/sqlite/write_groups.h"

#include <QCache>
#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <sys/stat.h>

struct sqlite3;

namespace ado::sqlite {

inline constexpr int kStatementCacheSize = 64;  // prepared statements kept per handle
inline constexpr int kCacheKibibytes = 16384;   // the engine's page cache per handle

class Handle {
public:
    // Opens file, which must exist; exclusive locks it against other processes; joins groups. Raises
    // ado::Error (a missing file, not a database, locked).
    Handle(const QString& file, bool exclusive, std::shared_ptr<WriteGroups> groups);
    // Commits the open group (a failure goes to standard error: nobody is left to raise it to) and closes.
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    sqlite3* Db() const { return db_; }
    WriteGroups& Groups() const { return *groups_; }
    const std::shared_ptr<WriteGroups>& SharedGroups() const { return groups_; }
    bool Exclusive() const { return exclusive_; }

    // A prepared statement for sql, from the cache when one is idle there. Raises ado::Error carrying
    // written.
    std::unique_ptr<Statement> Prepare(const QString& sql, const QString& written);
    // Resets statement and keeps it for the next use of its text.
    void Release(std::unique_ptr<Statement> statement);
    // Runs statement to its next row within timeoutSeconds (0: no limit): true when a row is ready, false
    // when it is done. Raises ado::Error carrying written.
    bool Step(Statement& statement, const QString& written, int timeoutSeconds);
    // The key column of table, from the engine's table information. Raises ADODB_E_NOTSUPPORTED without one.
    QString KeyColumn(const QString& table);

    // An empty table of columns untyped columns in the connection's temporary database, for one copy of a
    // query's rows (see CopyCursor); it is the caller's until GiveCopyTable. Call outside any transaction, so
    // that no rollback takes the table or its rows away. Raises ado::Error.
    QString TakeCopyTable(int columns);
    // Empties table and keeps it for the next copy of as many columns. Raises ado::Error; the table is then
    // not used again.
    void GiveCopyTable(const QString& table, int columns);

    // Makes the next write part of the open group, opening one when there is none, grouping is on and no
    // transaction of the program's own is open. Raises ado::Error (JET_LOCKED while another process holds
    // the write lock).
    void JoinGroup(const QString& written);
    // Counts one write that went into the open group, described as what (e.g. "insert(s) into Blacklist"),
    // for the report of a loss.
    void CountGroupedWrite(const QString& what);
    // After a grouped write failed: when the engine rolled back the whole group with the statement, raises
    // the loss (see Loss); otherwise returns.
    void CheckGroupAfterFailure(const Error& failure);
    bool GroupOpen() const { return groupOpen_; }
    std::chrono::steady_clock::time_point GroupStarted() const { return groupStarted_; }
    // Commits the open group, if any. Returns the loss when the engine rolled the group back with the failed
    // commit (a full disk); raises ado::Error when the commit failed and the group stays open (a lock).
    std::optional<Error> CommitGroup();

    // True while the file at the handle's path is the one it opened (not moved, removed or replaced).
    bool StillOpensItsFile() const;
    // The file, or the folder that holds it, when this process cannot write it (a write needs both: the
    // engine makes its journal beside the file); empty when it can.
    QString UnwritablePath() const;
    // True while a transaction the program began itself (BEGIN) is open.
    bool InOwnTransaction() const;

private:
    // Runs a statement the handle makes itself to its end.
    void Run(const QString& sql);
    void ChooseJournal(const QString& file);
    static int OnProgress(void* handle);
    // The error that tells of the open group's loss with failure, which the engine rolled back; the group
    // is then closed.
    Error Loss(const Error& failure);

    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static FileIdentity IdentityOf(const QString& file);

    sqlite3* db_ = nullptr;
    QString file_;
    FileIdentity identity_;
    bool exclusive_ = false;
    std::shared_ptr<WriteGroups> groups_;
    bool groupOpen_ = false;
    std::vector<std::pair<QString, int>> groupWrites_;  // what the open group holds, by kind of write
    std::chrono::steady_clock::time_point groupStarted_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    QCache<QString, Statement> statements_{kStatementCacheSize};
    QHash<QString, QString> keyColumns_;      // by table
    QHash<int, QStringList> idleCopyTables_;  // by their number of columns
    int copyTablesMade_ = 0;

    friend std::shared_ptr<Handle> OpenHandle(const QString& file, bool exclusive);
};

// A statement taken from a handle, given back when the lease ends unless a cursor keeps it.
class Lease {
public:
    Lease(Handle& handle, std::unique_ptr<Statement> statement)
        : handle_(handle), statement_(std::move(statement)) {}
    ~Lease() {
        if (statement_)
            handle_.Release(std::move(statement_));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Statement& operator*() { return *statement_; }
    Statement* operator->() { return statement_.get(); }
    std::unique_ptr<Statement> Keep() { return std::move(statement_); }

private:
    Handle& handle_;
    std::unique_ptr<Statement> statement_;
};

// Makes file a new, empty database. Raises ado::Error (JET_DATABASE_EXISTS when a file of that name exists,
// the engine's error when it cannot be written).
void CreateDatabaseFile(const QString& file);

// The handle of the process on file: the one already open when it still opens the same file, else a new
// one. An exclusive open, and every open when handles are not shared (see tuning.h), gets a handle of its
// own. The caller holds the process's groups' lock. Raises ado::Error like Handle's constructor.
std::shared_ptr<Handle> OpenHandle(const QString& file, bool exclusive);

}  // namespace ado::sqlite
