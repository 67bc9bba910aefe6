#pragma once
// Finding files and folders without regard to the case of their names, as the system's own file names were
// compared: the folder is listed and the names compared.

#include <QString>

namespace platform {

// The existing entry that folder + "/" + relativePath names, each part of relativePath ("/"-separated) found
// in its folder without regard to case, an exact match preferred. Returns the path as it is on disk (folder
// as given, then the parts as they are spelled there); empty when a part is missing or a folder cannot be
// read.
QString FindIgnoringCase(const QString& folder, const QString& relativePath);

// The existing file (not a folder) folder + name, its name found without regard to case; empty when none.
QString FindFileIgnoringCase(const QString& folder, const QString& name);

}  // namespace platform
