#include "ado/sqlite/connection.h"

#include "ado/sql/dialect.h"
#include "ado/sqlite/error.h"
#include "ado/sqlite/provider.h"
#include "ado/trace.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>
#include <sys/vfs.h>

#include <limits>

namespace ado::sqlite {

namespace {

const QString kProviderName = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

// True when file lies on a network or user-space file system (NFS, SMB/CIFS, FUSE, ...), where SQLite's
// write-ahead log cannot work because its shared memory is local to one host.
bool OnNetworkFileSystem(const QString& file) {
    struct statfs info {};
    if (statfs(QFile::encodeName(file).constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x65735546:  // FUSE (sshfs and others)
        case 0x564C:      // NCP
        case 0x73757245:  // Coda
        case 0x5346414F:  // AFS
        case 0x6B414653:  // kAFS
        case 0x01021997:  // 9P
        case 0x00C36400:  // Ceph
        case 0x7461636F:  // OCFS2
        case 0x01161970:  // GFS2
            return true;
        default:
            return false;
    }
}

QString Quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QLatin1String("\"\"")) + u'"';
}

Variant RowId(sqlite3_int64 rowid) {
    if (rowid < std::numeric_limits<int32_t>::min() || rowid > std::numeric_limits<int32_t>::max())
        return Variant(static_cast<double>(rowid));
    return Variant(static_cast<int32_t>(rowid));
}

// A statement taken from the session, given back when the lease ends.
class Lease {
  public:
    Lease(Session& session, std::unique_ptr<Statement> statement)
        : session_(session), statement_(std::move(statement)) {}
    ~Lease() {
        if (statement_)
            session_.Release(std::move(statement_));
    }
    Statement& operator*() { return *statement_; }
    Statement* operator->() { return statement_.get(); }
    std::unique_ptr<Statement> Keep() { return std::move(statement_); }

  private:
    Session& session_;
    std::unique_ptr<Statement> statement_;
};

class JetProvider : public provider::Provider {
  public:
    QString Name() const override { return kProviderName; }
    std::unique_ptr<provider::Session> Open(const ConnectionString& connection,
                                            const provider::OpenOptions& options) override {
        return std::make_unique<Session>(connection.Get(QStringLiteral("Data Source")), options);
    }
};

}  // namespace

std::shared_ptr<provider::Provider> MakeProvider() {
    return std::make_shared<JetProvider>();
}

Session::Session(const QString& file, const provider::OpenOptions& options)
    : exclusive_(options.mode == 12), commandTimeoutSeconds_(options.commandTimeoutSeconds) {
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists())
        throw FileNotFound(file);
    // Without SQLITE_OPEN_CREATE a file that vanished meanwhile is not made anew.
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw info.exists() ? EngineError(db_, rc, {}) : FileNotFound(file);
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_progress_handler(db_, 1000, &Session::OnProgress, this);
        // Reading the schema tells whether the file is a database at all.
        Run(QStringLiteral("PRAGMA schema_version"), {});
        ChooseJournal(file);
        file_ = file;
        identity_ = IdentityOf(file);
        if (exclusive_) {
            Run(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"), {});
            Run(QStringLiteral("BEGIN EXCLUSIVE"), {});
            Run(QStringLiteral("COMMIT"), {});
        }
    } catch (const Error&) {
        statements_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
}

Session::~Session() {
    statements_.clear();
    sqlite3_close_v2(db_);
}

void Session::ChooseJournal(const QString& file) {
    const bool network = OnNetworkFileSystem(file);
    QString current;
    {
        Lease statement(*this, Prepare(QStringLiteral("PRAGMA journal_mode"), {}));
        std::vector<Variant> row;
        if (Step(*statement, {})) {
            statement->Read(row);
            current = row.at(0).ToString().toLower();
        }
    }
    const bool wal = current == QLatin1String("wal");
    if (wal == network) {  // WAL wanted on a local file system only
        // Another connection with the file open keeps its journal as it is; that one is then used.
        try {
            Run(network ? QStringLiteral("PRAGMA journal_mode=DELETE")
                        : QStringLiteral("PRAGMA journal_mode=WAL"),
                {});
        } catch (const Error& err) {
            if (err.NativeError() != JET_LOCKED)
                throw;
        }
    }
    if (!network)
        Run(QStringLiteral("PRAGMA synchronous=NORMAL"), {});
}

int Session::OnProgress(void* session) {
    return std::chrono::steady_clock::now() > static_cast<Session*>(session)->deadline_ ? 1 : 0;
}

std::unique_ptr<Statement> Session::Prepare(const QString& sql, const QString& written) {
    if (Statement* cached = statements_.take(sql))
        return std::unique_ptr<Statement>(cached);
    return std::make_unique<Statement>(db_, sql, written);
}

void Session::Release(std::unique_ptr<Statement> statement) {
    statement->Reset();
    if (!statements_.contains(statement->Sql())) {
        const QString key = statement->Sql();
        statements_.insert(key, statement.release());
    }
}

bool Session::Step(Statement& statement, const QString& written) {
    if (!statement.Handle())
        return false;  // nothing but blanks or comments
    deadline_ = commandTimeoutSeconds_ > 0
                    ? std::chrono::steady_clock::now() + std::chrono::seconds(commandTimeoutSeconds_)
                    : std::chrono::steady_clock::time_point::max();
    const int rc = sqlite3_step(statement.Handle());
    deadline_ = std::chrono::steady_clock::time_point::max();
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const Error error = EngineError(db_, rc, written);
    statement.Reset();
    throw error;
}

std::unique_ptr<provider::Cursor> Session::Query(const QString& sql) {
    const QString sent = sql::ToSqlite(sql);
    TraceStatement(kProviderName, sql, sent);
    Lease statement(*this, Prepare(sent, sql));
    const bool hasRow = Step(*statement, sql);
    return std::make_unique<Cursor>(*this, statement.Keep(), hasRow, sql);
}

int64_t Session::Execute(const QString& sql) {
    QStringList sent;
    for (const QString& part : sql::SplitBatch(sql))
        sent << sql::ToSqlite(part);
    if (TraceEnabled())
        TraceStatement(kProviderName, sql, sent.join(QStringLiteral("; ")));
    int64_t changes = 0;
    for (QString text : sent) {
        // A part may still hold several statements; each runs in turn.
        while (!text.isEmpty()) {
            Lease statement(*this, Prepare(text, sql));
            while (Step(*statement, sql)) {
            }
            const bool writes = statement->Handle() && !sqlite3_stmt_readonly(statement->Handle());
            changes = writes ? sqlite3_changes64(db_) : 0;
            text = statement->Tail();
        }
    }
    return changes;
}

provider::TableKey Session::UpdatableTable(const QString& sql) {
    QString table;
    bool single = false;
    {
        Lease statement(*this, Prepare(sql::ToSqlite(sql), sql));
        sqlite3_stmt* handle = statement->Handle();
        const int count = handle ? sqlite3_column_count(handle) : 0;
        single = count > 0;
        // Every column must come straight from the one table.
        for (int i = 0; i < count && single; ++i) {
            const char* origin = sqlite3_column_table_name(handle, i);
            const QString name = origin ? QString::fromUtf8(origin) : QString();
            single = !name.isEmpty() && (table.isEmpty() || name == table);
            table = name;
        }
    }
    if (!single)
        throw ObjectModelError(ADODB_E_NOTSUPPORTED);
    return provider::TableKey{table, KeyColumn(table)};
}

QString Session::KeyColumn(const QString& table) {
    const auto known = keyColumns_.constFind(table);
    if (known != keyColumns_.constEnd())
        return known.value();
    QStringList keys;
    {
        const auto cursor =
            Select(QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk > 0"), {table});
        std::vector<Variant> row;
        while (cursor->Next(row))
            keys << row.at(0).ToString();
    }
    if (keys.size() != 1)
        throw ObjectModelError(ADODB_E_NOTSUPPORTED);
    keyColumns_.insert(table, keys.front());
    return keys.front();
}

std::unique_ptr<provider::Cursor> Session::Select(const QString& sql, const std::vector<Variant>& values) {
    Lease statement(*this, Prepare(sql, sql));
    statement->Bind(values);
    const bool hasRow = Step(*statement, sql);
    return std::make_unique<Cursor>(*this, statement.Keep(), hasRow, sql);
}

int64_t Session::Run(const QString& sql, const std::vector<Variant>& values) {
    Lease statement(*this, Prepare(sql, sql));
    statement->Bind(values);
    while (Step(*statement, sql)) {
    }
    return sqlite3_changes64(db_);
}

std::unique_ptr<provider::Cursor> Session::SelectByKey(const provider::TableKey& table, const Variant& key) {
    return Select(
        QStringLiteral("SELECT * FROM %1 WHERE %2 = ?").arg(Quoted(table.table), Quoted(table.keyColumn)),
        {key});
}

Variant Session::Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                        const std::vector<Variant>& values) {
    QStringList names;
    for (const QString& column : columns)
        names << Quoted(column);
    const QString sql = columns.empty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quoted(table.table))
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(Quoted(table.table), names.join(QStringLiteral(", ")),
                                       QStringList(names.size(), QStringLiteral("?")).join(u','));
    Run(sql, values);
    // The key as the database holds it, whether given or assigned.
    const auto cursor = Select(QStringLiteral("SELECT %1 FROM %2 WHERE _rowid_ = ?")
                                   .arg(Quoted(table.keyColumn), Quoted(table.table)),
                               {RowId(sqlite3_last_insert_rowid(db_))});
    std::vector<Variant> row;
    return cursor->Next(row) ? row.at(0) : Variant::Null();
}

int64_t Session::Update(const provider::TableKey& table, const Variant& key,
                        const std::vector<QString>& columns, const std::vector<Variant>& values) {
    QStringList assignments;
    for (const QString& column : columns)
        assignments << Quoted(column) + QStringLiteral(" = ?");
    std::vector<Variant> bound = values;
    bound.push_back(key);
    return Run(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                   .arg(Quoted(table.table), assignments.join(QStringLiteral(", ")), Quoted(table.keyColumn)),
               bound);
}

int64_t Session::Delete(const provider::TableKey& table, const Variant& key) {
    return Run(
        QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(Quoted(table.table), Quoted(table.keyColumn)),
        {key});
}

Session::FileIdentity Session::IdentityOf(const QString& file) {
    struct stat status {};
    if (stat(QFile::encodeName(file).constData(), &status) != 0)
        return {};
    return {status.st_dev, status.st_ino};
}

bool Session::Reusable() {
    if (exclusive_ || !sqlite3_get_autocommit(db_))
        return false;
    // A file that was moved away, deleted or copied over is not the database this session has open.
    const FileIdentity now = IdentityOf(file_);
    if (now == FileIdentity{} || !(now == identity_))
        return false;
    for (sqlite3_stmt* statement = sqlite3_next_stmt(db_, nullptr); statement;
         statement = sqlite3_next_stmt(db_, statement)) {
        if (sqlite3_stmt_busy(statement))
            return false;
    }
    return true;
}

}  // namespace ado::sqlite
