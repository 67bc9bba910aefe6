// Clearing a file's attributes: the owner may write it again; the rest of its mode stays.
#include "platform/file_attributes.h"

#include <QFile>

#include <sys/stat.h>

namespace platform {

bool SetFileAttributesNormal(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return false;
    if ((status.st_mode & S_IWUSR) != 0)
        return true;
    return ::chmod(name.constData(), (status.st_mode & 07777) | S_IWUSR) == 0;
}

}  // namespace platform
