#pragma once
// Copying one file: the plain copy statement, and the chunked copy that the shell copy shows progress for.

#include <QString>

#include <cstdint>
#include <functional>

namespace platform {

// Called after each chunk with the bytes copied so far and the file's size; returning false stops the copy.
using CopyProgress = std::function<bool(int64_t copied, int64_t total)>;

// Copies source to target (replacing it) through a temporary file in the target's folder that is renamed over
// the target at the end, so that the target is never half-written; the copy keeps the source's mode and
// modification time. A source or target that anyone holds a lock on (as a database engine does while it works
// on the file) counts as busy. Returns 0 on success, ECANCELED when progress stopped it, EBUSY for a busy
// file, or the errno of the failure; the target is then left as it was.
int CopyFileInChunks(const QString& source, const QString& target, const CopyProgress& progress = {});

// The plain copy statement: copies source to target, replacing it. Raises RuntimeError 53 ("File not found")
// when source is missing, 76 ("Path not found") when the target's folder is, 70 ("Permission denied") for a
// busy or denied file and 75 ("Path/File access error") for any other failure.
void FileCopy(const QString& source, const QString& target);

// True for the failures that the system reports as run-time error 70: the file is busy or access is denied.
bool IsBusyOrDenied(int errorNumber);

}  // namespace platform
