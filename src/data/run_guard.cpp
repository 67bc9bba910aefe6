// The run locks: a lock file beside the database files, and the catalog's advisory lock on the server.
#include "data/run_guard.h"

#include "ado/connection_string.h"
#include "ado/error.h"
#include "ado/provider.h"
#include "platform/application.h"
#include "platform/clock.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace data {

namespace {

const QString kLockFileName = QStringLiteral("KS_queue.lock");

// The server's advisory lock of a run: the two-key form, so that it cannot meet a one-key lock of another
// program. The keys are "KS" and 1; the lock belongs to the catalog the session is connected to.
constexpr int kAdvisoryClass = 0x4B53;
constexpr int kAdvisoryObject = 1;
// What the holder's session is called: "KS run <pid> <start> <host>", cut to the server's 63 characters.
const QString kApplicationPrefix = QStringLiteral("KS run ");
const QString kCompactTime = QStringLiteral("yyyyMMddTHHmmss");
// A holder that has just taken the lock file may not have written itself into it yet.
constexpr int kHolderReadAttempts = 10;
constexpr useconds_t kHolderReadPauseMicroseconds = 20'000;

bool OnServer(const ConnectionSettings& settings) {
    return !settings.accessFlag && !settings.mainConnectionString.isEmpty();
}

QString ServerDataSource(const ConnectionSettings& settings) {
    const ado::ConnectionString parsed(settings.mainConnectionString);
    return parsed.Get(QStringLiteral("Data Source")) + QStringLiteral(" catalog ") +
           parsed.Get(QStringLiteral("Initial Catalog"));
}

// This process as a holder.
RunHolder ThisRun(const QString& dataSource) {
    return {QSysInfo::machineHostName(), QCoreApplication::applicationPid(), platform::Now(), dataSource};
}

void Warn(const QString& text) {
    platform::WriteErrorLine(QStringLiteral("Warning: ") + text, platform::Severity::Warning);
}

QString SystemError(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

// ---- The lock file ----

// The whole file, as an fcntl lock of the open file description: it conflicts with every other open of the
// file, in this process too, and closing another descriptor of the file does not drop it.
struct flock WholeFile(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

QByteArray HolderText(const RunHolder& holder) {
    return (QStringLiteral("host=") + holder.host + QStringLiteral("\npid=") + QString::number(holder.pid) +
            QStringLiteral("\nsince=") + holder.since.toString(Qt::ISODate) + u'\n')
        .toUtf8();
}

RunHolder ParseHolderText(const QByteArray& text, const QString& dataSource) {
    RunHolder holder;
    holder.dataSource = dataSource;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals);
        const QString value = QString::fromUtf8(line.mid(equals + 1));
        if (key == "host") {
            holder.host = value;
        } else if (key == "pid") {
            holder.pid = value.toLongLong();
        } else if (key == "since") {
            holder.since = QDateTime::fromString(value, Qt::ISODate);
        }
    }
    return holder;
}

QByteArray ReadAll(int fd) {
    QByteArray text;
    char buffer[512];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got <= 0)
            break;
        text.append(buffer, got);
        offset += got;
    }
    return text;
}

// The holder written in the lock file that fd reads.
RunHolder ReadHolder(int fd, const QString& file) {
    QByteArray text = ReadAll(fd);
    for (int attempt = 1; text.isEmpty() && attempt < kHolderReadAttempts; ++attempt) {
        ::usleep(kHolderReadPauseMicroseconds);
        text = ReadAll(fd);
    }
    return ParseHolderText(text, file);
}

// The holder of the lock file that fd has open, when another open of it holds the lock.
std::optional<RunHolder> HolderOfLockFile(int fd, const QString& file) {
    struct flock lock = WholeFile(F_WRLCK);
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return std::nullopt;
    return ReadHolder(fd, file);
}

// Gives a new lock file the permissions of the users database beside it, so that every user who may write
// the data may take the lock.
void ShareLikeTheData(int fd, const ConnectionSettings& settings) {
    struct stat data {};
    if (::stat(settings.usersDatabaseFile.toLocal8Bit().constData(), &data) == 0)
        ::fchmod(fd, data.st_mode & 0666);
}

// ---- The server's advisory lock ----

std::unique_ptr<ado::provider::Session> OpenServerSession(const QString& connectionString) {
    ado::provider::RegisterBuiltInProviders();
    const ado::ConnectionString parsed(connectionString);
    const std::shared_ptr<ado::provider::Provider> provider =
        ado::provider::FindProvider(parsed.Get(QStringLiteral("Provider")));
    if (!provider)
        throw ado::ObjectModelError(ado::ADODB_E_PROVIDERNOTFOUND);
    return provider->Open(parsed, ado::provider::OpenOptions{});
}

// The first value of the first row of sql; Null when it has no row.
ado::Variant FirstValue(ado::provider::Session& session, const QString& sql) {
    const std::unique_ptr<ado::provider::Cursor> cursor = session.Query(sql);
    std::vector<ado::Variant> row;
    return cursor->Next(row) ? row.at(0) : ado::Variant::Null();
}

QString AdvisoryKeys() {
    return QString::number(kAdvisoryClass) + QStringLiteral(", ") + QString::number(kAdvisoryObject);
}

QString ApplicationName(const RunHolder& holder) {
    return (kApplicationPrefix + QString::number(holder.pid) + u' ' + holder.since.toString(kCompactTime) +
            u' ' + holder.host)
        .left(63);
}

RunHolder ParseApplicationName(const QString& name, const QString& dataSource) {
    RunHolder holder;
    holder.dataSource = dataSource;
    const QStringList parts = name.mid(kApplicationPrefix.size()).split(u' ');
    if (parts.size() >= 3) {
        holder.pid = parts[0].toLongLong();
        holder.since = QDateTime::fromString(parts[1], kCompactTime);
        holder.host = parts.mid(2).join(u' ');
    }
    return holder;
}

// The session of the run that holds the catalog's advisory lock, asked through session.
std::optional<RunHolder> HolderOfAdvisoryLock(ado::provider::Session& session, const QString& dataSource) {
    const ado::Variant name = FirstValue(
        session,
        QStringLiteral("SELECT a.application_name FROM pg_locks l JOIN pg_stat_activity a ON a.pid = "
                       "l.pid WHERE l.locktype = 'advisory' AND l.granted AND l.classid = ") +
            QString::number(kAdvisoryClass) + QStringLiteral(" AND l.objid = ") +
            QString::number(kAdvisoryObject) +
            QStringLiteral(" AND l.objsubid = 2 AND l.database = (SELECT oid FROM pg_database WHERE "
                           "datname = current_database())"));
    if (name.IsNull())
        return std::nullopt;
    return ParseApplicationName(name.ToString(), dataSource);
}

}  // namespace

QString RunLockFile(const ConnectionSettings& settings) {
    return settings.dataPath + kLockFileName;
}

std::optional<RunHolder> FindActiveRun(const ConnectionSettings& settings) {
    const QString file = RunLockFile(settings);
    const int fd = ::open(file.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        std::optional<RunHolder> holder = HolderOfLockFile(fd, file);
        ::close(fd);
        if (holder)
            return holder;
    }
    if (!OnServer(settings))
        return std::nullopt;
    const std::unique_ptr<ado::provider::Session> session = OpenServerSession(settings.mainConnectionString);
    return HolderOfAdvisoryLock(*session, ServerDataSource(settings));
}

RunGuard::RunGuard(const ConnectionSettings& settings) {
    const QString file = RunLockFile(settings);
    const QByteArray path = file.toLocal8Bit();
    lockFile_ = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    int failure = errno;
    if (lockFile_ >= 0) {
        ShareLikeTheData(lockFile_, settings);
    } else if (failure == EEXIST) {
        lockFile_ = ::open(path.constData(), O_RDWR | O_CLOEXEC);
        failure = errno;
    }
    if (lockFile_ < 0) {
        // Without write access the lock cannot be taken, but a holder can still be seen.
        const int reader = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            holder_ = HolderOfLockFile(reader, file);
            ::close(reader);
            if (holder_)
                return;
        }
        Warn(QStringLiteral("cannot take the run lock %1: %2; this run goes on without it.")
                 .arg(file, SystemError(failure)));
    } else {
        struct flock lock = WholeFile(F_WRLCK);
        if (::fcntl(lockFile_, F_OFD_SETLK, &lock) != 0) {
            const int failure = errno;
            if (failure == EAGAIN || failure == EACCES) {
                holder_ = ReadHolder(lockFile_, file);
                Release();
                return;
            }
            Warn(QStringLiteral("cannot lock %1: %2; this run goes on without the file lock.")
                     .arg(file, SystemError(failure)));
            ::close(lockFile_);
            lockFile_ = -1;
        } else {
            fileLocked_ = true;
            const QByteArray text = HolderText(ThisRun(file));
            if (::pwrite(lockFile_, text.constData(), text.size(), 0) != text.size() ||
                ::ftruncate(lockFile_, text.size()) != 0) {
                Warn(QStringLiteral("cannot write this run into %1: %2.").arg(file, SystemError(errno)));
            }
        }
    }

    if (!OnServer(settings))
        return;
    const QString dataSource = ServerDataSource(settings);
    QString connectionString = settings.mainConnectionString;
    if (!connectionString.endsWith(u';'))
        connectionString += u';';
    connectionString += QStringLiteral("Application Name=") + ApplicationName(ThisRun(dataSource)) + u';';
    try {
        server_ = OpenServerSession(connectionString);
        if (!FirstValue(*server_,
                        QStringLiteral("SELECT pg_try_advisory_lock(") + AdvisoryKeys() + QStringLiteral(")"))
                 .ToBool()) {
            // A holder that ended between the two questions leaves a holder without details.
            RunHolder unknown;
            unknown.dataSource = dataSource;
            holder_ = HolderOfAdvisoryLock(*server_, dataSource).value_or(unknown);
            Release();
        }
    } catch (...) {
        Release();
        throw;
    }
}

RunGuard::~RunGuard() {
    Release();
}

void RunGuard::Release() {
    if (server_) {
        try {
            FirstValue(*server_,
                       QStringLiteral("SELECT pg_advisory_unlock(") + AdvisoryKeys() + QStringLiteral(")"));
        } catch (const ado::Error&) {
            // The session is closed next, which drops the lock all the same.
        }
        server_.reset();
    }
    if (lockFile_ >= 0) {
        // The text goes first, so that nobody reads this run as the holder; the lock goes with the close.
        if (fileLocked_ && ::ftruncate(lockFile_, 0) != 0)
            Warn(QStringLiteral("cannot empty the run lock file: %1.").arg(SystemError(errno)));
        ::close(lockFile_);
        lockFile_ = -1;
        fileLocked_ = false;
    }
}

}  // namespace data
