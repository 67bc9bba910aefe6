#pragma once
// The generic file routines that the set-up windows share.

#include <QString>

namespace setup {

// The drive roots as the system lists them, each followed by one NUL, the whole list ending with a further
// NUL; the empty string when there are no drives. Roots are mount points of any length, so the list is walked
// with NextDriveRoot, never in steps of a fixed size.
QString GetLogicalDriveList();

// The root that starts at position in a list of GetLogicalDriveList; moves position past the root's NUL.
// Returns the empty string (and leaves position) at the NUL that ends the list or at the end of the text.
QString NextDriveRoot(const QString& driveList, qsizetype& position);

// When a file of that name exists (its name found without regard to case), makes it writable by its owner
// and returns true; otherwise returns false and does nothing.
bool ClearFileAttributes(const QString& path);

}  // namespace setup
