#pragma once
// Drives: the mounted file systems, each with its root (the mount point ending with "/") and its type.

#include <QString>

#include <vector>

namespace platform {

// Drive types, numbered as the system numbers them.
inline constexpr int kDriveNoRootDir = 1;
inline constexpr int kDriveRemovable = 2;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;
inline constexpr int kDriveCdRom = 5;

struct Drive {
    QString root;  // ends with "/"
    int type = kDriveFixed;
};

// The drives in the order the system lists them: the mounted file systems (pseudo file systems such as proc,
// sysfs, tmpfs and cgroup left out), or the list that SetDrives installed, or else the list that the
// environment variable KESTRANE_DRIVES gives ("folder=type;folder=type", type a number or one of removable,
// fixed, remote, cdrom). Empty when the system cannot be read.
std::vector<Drive> GetDrives();

// The type of the drive whose root is root (compared as written); 1 (no root directory) when there is none.
int GetDriveType(const QString& root);

// The root of the drive that holds path: the longest drive root that path begins with (a folder path without
// its trailing "/" counts too). Empty when no drive holds it.
QString DriveRootOf(const QString& path);

// Replaces the machine's drives with a list of folders and types (tests give their own drives).
void SetDrives(std::vector<Drive> drives);
// Goes back to the system's list of mounted file systems.
void UseSystemDrives();

}  // namespace platform
