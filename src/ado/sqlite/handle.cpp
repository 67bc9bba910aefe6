#include "ado/sqlite/handle.h"

#include "ado/sqlite/error.h"
#include "ado/sqlite/tuning.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace ado::sqlite {

namespace {

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

bool Writable(const QString& path) {
    return access(QFile::encodeName(path).constData(), W_OK) == 0;
}

}  // namespace

Handle::Handle(const QString& file, bool exclusive, std::shared_ptr<WriteGroups> groups)
    : exclusive_(exclusive), groups_(std::move(groups)) {
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists())
        throw FileNotFound(file);
    // The engine would make an empty file a database by writing to it: a file becomes one only when it is
    // created as one.
    if (info.isFile() && info.size() == 0)
        throw NotADatabase(file);
    // Without SQLITE_OPEN_CREATE a file that vanished meanwhile is not made anew.
    // Every use of a handle holds its groups' lock, so the engine's own per-call locking is left out.
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw info.exists() ? EngineError(db_, rc, {}) : FileNotFound(file);
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_progress_handler(db_, 1000, &Handle::OnProgress, this);
        file_ = file;
        // Reading the schema tells whether the file is a database at all. A file in the write-ahead log's
        // journal cannot even be read where the folder does not let the engine make the log's index.
        try {
            Run(QStringLiteral("PRAGMA schema_version"));
        } catch (const Error& err) {
            const bool cannotMakeFiles =
                err.NativeError() == JET_READ_ONLY || (err.NativeError() & 0xff) == SQLITE_CANTOPEN;
            if (cannotMakeFiles && !UnwritablePath().isEmpty())
                throw ReadOnly(UnwritablePath());
            throw;
        }
        // A rebuild's scans and duplicate tests touch the same index pages again and again: a cache of
        // kCacheKibibytes keeps them in memory instead of reading them back from the file.
        Run(QStringLiteral("PRAGMA cache_size=-") + QString::number(kCacheKibibytes));
        if (UnwritablePath().isEmpty())
            ChooseJournal(file);
        identity_ = IdentityOf(file);
        if (exclusive_) {
            Run(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            Run(QStringLiteral("BEGIN EXCLUSIVE"));
            Run(QStringLiteral("COMMIT"));
        }
    } catch (const Error&) {
        statements_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
    groups_->Register(this);
}

Handle::~Handle() {
    groups_->Unregister(this);
    try {
        if (const std::optional<Error> lost = CommitGroup())
            TellOfWritesAtEnd(QStringLiteral("Writes were lost"), *lost);
    } catch (const Error& err) {
        // The group is lost as it would be at a crash; the next run redoes it.
        TellOfWritesAtEnd(QStringLiteral("Writes could not be committed"), err);
    }
    statements_.clear();
    sqlite3_close_v2(db_);
}

void Handle::Run(const QString& sql) {
    Lease statement(*this, Prepare(sql, sql));
    while (Step(*statement, sql, 0)) {
    }
}

void Handle::ChooseJournal(const QString& file) {
    const bool network = OnNetworkFileSystem(file);
    QString current;
    {
        Lease statement(*this, Prepare(QStringLiteral("PRAGMA journal_mode"), {}));
        std::vector<Variant> row;
        if (Step(*statement, {}, 0)) {
            statement->Read(row);
            current = row.at(0).ToString().toLower();
        }
    }
    const bool wal = current == QLatin1String("wal");
    if (wal == network) {  // WAL wanted on a local file system only
        // Another connection with the file open keeps its journal as it is; that one is then used.
        try {
            Run(network ? QStringLiteral("PRAGMA journal_mode=DELETE")
                        : QStringLiteral("PRAGMA journal_mode=WAL"));
        } catch (const Error& err) {
            if (err.NativeError() != JET_LOCKED)
                throw;
        }
    }
    if (!network)
        Run(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

int Handle::OnProgress(void* handle) {
    return std::chrono::steady_clock::now() > static_cast<Handle*>(handle)->deadline_ ? 1 : 0;
}

std::unique_ptr<Statement> Handle::Prepare(const QString& sql, const QString& written) {
    if (Statement* cached = statements_.take(sql))
        return std::unique_ptr<Statement>(cached);
    return std::make_unique<Statement>(db_, sql, written);
}

void Handle::Release(std::unique_ptr<Statement> statement) {
    statement->Reset();
    if (!statements_.contains(statement->Sql())) {
        const QString key = statement->Sql();
        statements_.insert(key, statement.release());
    }
}

bool Handle::Step(Statement& statement, const QString& written, int timeoutSeconds) {
    if (!statement.Handle())
        return false;  // nothing but blanks or comments
    deadline_ = timeoutSeconds > 0 ? std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds)
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

QString Handle::KeyColumn(const QString& table) {
    const auto known = keyColumns_.constFind(table);
    if (known != keyColumns_.constEnd())
        return known.value();
    const QString sql = QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk > 0");
    QStringList keys;
    {
        Lease statement(*this, Prepare(sql, sql));
        statement->Bind({Variant(table)});
        std::vector<Variant> row;
        while (Step(*statement, sql, 0)) {
            statement->Read(row);
            keys << row.at(0).ToString();
        }
    }
    if (keys.size() != 1)
        throw ObjectModelError(ADODB_E_NOTSUPPORTED);
    keyColumns_.insert(table, keys.front());
    return keys.front();
}

QString Handle::TakeCopyTable(int columns) {
    QStringList& idle = idleCopyTables_[columns];
    const QString table = idle.isEmpty() ? QStringLiteral("copy_%1").arg(++copyTablesMade_) : idle.takeLast();
    QStringList names;
    for (int i = 1; i <= columns; ++i)
        names << QStringLiteral("c%1").arg(i);
    // Without a type its columns keep every value exactly as the query gave it. Rows a rolled-back emptying
    // left behind go first.
    Run(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1 (%2)").arg(table, names.join(u',')));
    Run(QStringLiteral("DELETE FROM temp.%1").arg(table));
    return table;
}

void Handle::GiveCopyTable(const QString& table, int columns) {
    Run(QStringLiteral("DELETE FROM temp.%1").arg(table));
    idleCopyTables_[columns].append(table);
}

bool Handle::InOwnTransaction() const {
    return !groupOpen_ && !sqlite3_get_autocommit(db_);
}

void Handle::JoinGroup(const QString& written) {
    if (groupOpen_ || InOwnTransaction() || ProcessTuning().groupAge.count() == 0)
        return;
    // Taking the write lock at once makes a busy file fail here, before anything of the group is written.
    const QString begin = QStringLiteral("BEGIN IMMEDIATE");
    Lease statement(*this, Prepare(begin, written));
    Step(*statement, written, 0);
    groupOpen_ = true;
    groupStarted_ = std::chrono::steady_clock::now();
    groupWrites_.clear();
    groups_->GroupOpened();
}

void Handle::CountGroupedWrite(const QString& what) {
    if (!groupOpen_)
        return;
    const auto kind = std::find_if(groupWrites_.begin(), groupWrites_.end(),
                                   [&](const auto& counted) { return counted.first == what; });
    if (kind == groupWrites_.end())
        groupWrites_.emplace_back(what, 1);
    else
        ++kind->second;
}

Error Handle::Loss(const Error& failure) {
    groupOpen_ = false;
    int total = 0;
    QStringList kinds;
    for (const auto& [what, count] : groupWrites_) {
        total += count;
        kinds << QStringLiteral("%1 %2").arg(count).arg(what);
    }
    const QString lost =
        total == 0 ? QStringLiteral(" The engine rolled back its group of writes with it, which held none.")
                   : QStringLiteral(
                         " The engine rolled back the %1 write(s) of its group with it, which are lost: %2.")
                         .arg(total)
                         .arg(kinds.join(QStringLiteral(", ")));
    return Error(failure.Number(), failure.NativeError(), failure.Description() + lost, failure.Statement());
}

void Handle::CheckGroupAfterFailure(const Error& failure) {
    if (groupOpen_ && sqlite3_get_autocommit(db_))
        throw Loss(failure);
}

std::optional<Error> Handle::CommitGroup() {
    if (!groupOpen_)
        return std::nullopt;
    const QString commit = QStringLiteral("COMMIT");
    try {
        Lease statement(*this, Prepare(commit, commit));
        Step(*statement, commit, 0);
    } catch (const Error& err) {
        // A commit the engine could not write (a full disk) may take the whole group back with it.
        if (sqlite3_get_autocommit(db_))
            return Loss(err);
        throw;
    }
    groupOpen_ = false;
    return std::nullopt;
}

Handle::FileIdentity Handle::IdentityOf(const QString& file) {
    struct stat status {};
    if (stat(QFile::encodeName(file).constData(), &status) != 0)
        return {};
    return {status.st_dev, status.st_ino};
}

QString Handle::UnwritablePath() const {
    if (!Writable(file_) || sqlite3_db_readonly(db_, "main") == 1)
        return file_;
    const QString folder = QFileInfo(file_).absolutePath();
    return Writable(folder) ? QString() : folder;
}

bool Handle::StillOpensItsFile() const {
    const FileIdentity now = IdentityOf(file_);
    return !(now == FileIdentity{}) && now == identity_;
}

void CreateDatabaseFile(const QString& file) {
    if (QFileInfo::exists(file))
        throw Error(E_FAIL_HR, JET_DATABASE_EXISTS,
                    QStringLiteral("Database '%1' already exists.").arg(file));
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Writing the schema cookie gives the file its header: an empty file would not be a database.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA user_version = 0", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const Error error = EngineError(db, rc, {});
        sqlite3_close(db);
        throw error;
    }
    sqlite3_close(db);
}

std::shared_ptr<Handle> OpenHandle(const QString& file, bool exclusive) {
    if (exclusive || !ProcessTuning().sharedHandle)
        return std::make_shared<Handle>(file, exclusive, WriteGroups::OfProcess());
    // By device and inode, so that every path to one file shares its handle and a replaced file gets a
    // new one.
    static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<Handle>> open;
    const Handle::FileIdentity identity = Handle::IdentityOf(file);
    const auto key = std::make_pair(identity.device, identity.inode);
    if (!(identity == Handle::FileIdentity{})) {
        const auto found = open.find(key);
        if (found != open.end()) {
            if (std::shared_ptr<Handle> handle = found->second.lock(); handle && handle->StillOpensItsFile())
                return handle;
        }
    }
    auto handle = std::make_shared<Handle>(file, false, WriteGroups::OfProcess());
    std::erase_if(open, [](const auto& entry) { return entry.second.expired(); });
    open[key] = handle;
    return handle;
}

}  // namespace ado::sqlite
