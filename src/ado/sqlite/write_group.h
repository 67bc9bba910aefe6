#pragma once
// Writes grouped into short transactions, as the Jet engine's write-behind grouped them. A by-key write
// (an updatable recordset's insert, update or delete) joins the open group of its handle; every group of the
// process is committed together when the oldest is kGroupAge old (at the next write, or by the committer
// thread when the program has gone quiet), when a connection closes, before any other write, and at exit.
// Committing all groups at once keeps what is durable a prefix of what the program wrote, across files.

#include <chrono>
#include <mutex>

namespace ado::sqlite {

class Handle;

// Other processes see a grouped write after at most about this long (plus one commit).
inline constexpr auto kGroupAge = std::chrono::milliseconds(5);

// The lock that every use of an engine handle holds: the program's calls and the committer thread.
std::recursive_mutex& EngineLock();

// Makes handle's group known to the committer (which starts with the first handle). The caller holds
// EngineLock.
void Register(Handle* handle);
// Forgets handle. The caller holds EngineLock.
void Unregister(Handle* handle);

// Commits the open group of every handle. Raises ado::Error (the first failure, after trying every
// handle); a group that failed stays open for the next attempt. The caller holds EngineLock.
void CommitAllGroups();
// Commits every group when the oldest open one is at least kGroupAge old. Raises like CommitAllGroups.
void CommitGroupsIfDue();

}  // namespace ado::sqlite
