#include "platform/file_copy.h"

#include "platform/runtime_error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int32_t kErrFileNotFound = 53;
constexpr int32_t kErrPathFileAccess = 75;
constexpr int32_t kErrPathNotFound = 76;

// Large enough to copy quickly, small enough that a database file shows its progress.
constexpr size_t kChunkBytes = 1 << 20;

// A descriptor that closes itself.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes now and returns 0 or the errno of the failed close.
    int Close() {
        const int result = ::close(fd_) == 0 ? 0 : errno;
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// True when another open file (of this or another process) holds a lock that a lock of lockType would meet.
// A database engine holds its locks while it works on a file (and, with a write-ahead log, while the file is
// open at all), so a lock that a write lock meets means the file is in use.
bool LockedByOther(int fd, short lockType) {
    struct flock probe {};
    probe.l_type = lockType;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0)
        return false;
    return probe.l_type != F_UNLCK;
}

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

// Copies the open source into the open temporary file; 0 or an errno.
int CopyContents(int in, int out, int64_t total, const CopyProgress& progress) {
    std::vector<char> buffer(kChunkBytes);
    int64_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        if (const int failure = WriteAll(out, buffer.data(), static_cast<size_t>(got)))
            return failure;
        copied += got;
        if (progress && !progress(copied, total))
            return ECANCELED;
    }
    if (copied == 0 && progress && !progress(0, total))
        return ECANCELED;
    return 0;
}

// The busy test of an existing target: 0, EBUSY, or the errno of opening it.
int CheckTargetNotBusy(const QByteArray& target) {
    const int fd = ::open(target.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? 0 : errno;
    FileDescriptor existing(fd);
    return LockedByOther(existing.Get(), F_WRLCK) ? EBUSY : 0;
}

}  // namespace

bool IsBusyOrDenied(int errorNumber) {
    return errorNumber == EACCES || errorNumber == EPERM || errorNumber == ETXTBSY || errorNumber == EBUSY;
}

int CopyFileInChunks(const QString& source, const QString& target, const CopyProgress& progress) {
    const QByteArray sourceName = QFile::encodeName(source);
    const QByteArray targetName = QFile::encodeName(target);
    FileDescriptor in(::open(sourceName.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.IsOpen())
        return errno;
    struct stat sourceStatus {};
    if (::fstat(in.Get(), &sourceStatus) != 0)
        return errno;
    if (S_ISDIR(sourceStatus.st_mode))
        return EISDIR;
    if (LockedByOther(in.Get(), F_WRLCK))
        return EBUSY;
    struct stat targetStatus {};
    if (::stat(targetName.constData(), &targetStatus) == 0 && targetStatus.st_dev == sourceStatus.st_dev &&
        targetStatus.st_ino == sourceStatus.st_ino) {
        return EINVAL;  // a file cannot be copied onto itself
    }
    if (const int busy = CheckTargetNotBusy(targetName))
        return busy;

    const QFileInfo targetInfo(target);
    QByteArray temporaryName =
        QFile::encodeName(targetInfo.absolutePath() + QStringLiteral("/.") + targetInfo.fileName()) +
        ".XXXXXX";
    FileDescriptor out(::mkstemp(temporaryName.data()));
    if (!out.IsOpen())
        return errno;
    int failure = CopyContents(in.Get(), out.Get(), sourceStatus.st_size, progress);
    if (failure == 0 && ::fchmod(out.Get(), sourceStatus.st_mode & 07777) != 0)
        failure = errno;
    if (failure == 0) {
        const struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
        ::futimens(out.Get(), times);
        failure = out.Close();
    }
    if (failure == 0 && ::rename(temporaryName.constData(), targetName.constData()) != 0)
        failure = errno;
    if (failure != 0)
        ::unlink(temporaryName.constData());
    return failure;
}

void FileCopy(const QString& source, const QString& target) {
    if (!QFileInfo::exists(source))
        throw RuntimeError(kErrFileNotFound, QStringLiteral("File not found"));
    const int failure = CopyFileInChunks(source, target);
    if (failure == 0)
        return;
    if (IsBusyOrDenied(failure))
        throw RuntimeError(kErrPermissionDenied, QStringLiteral("Permission denied"));
    if (failure == ENOENT || failure == ENOTDIR)
        throw RuntimeError(kErrPathNotFound, QStringLiteral("Path not found"));
    throw RuntimeError(kErrPathFileAccess, QStringLiteral("Path/File access error"));
}

}  // namespace platform
