#pragma once
// File attributes: the stand-in for clearing a file's attributes.

#include <QString>

namespace platform {

// Makes the file writable by its owner (clears read-only); the rest of its mode stays. Returns false when the
// file does not exist or its mode cannot be changed.
bool SetFileAttributesNormal(const QString& path);

}  // namespace platform
