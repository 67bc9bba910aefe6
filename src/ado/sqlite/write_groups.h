#pragma once
// The write groups of the process: by-key writes (an updatable recordset's insert, update or delete) gathered
// into short transactions, one open group per engine handle, as the Jet engine's shared mode wrote lazily.
// One object owns the groups, the lock every use of an engine handle holds, the thread that commits the
// groups while the program is quiet, and what happens to them when the program ends.
//
// Every group of the process is committed together, so that what is durable stays a prefix of what the
// program wrote, across files: when the oldest is ProcessTuning().groupAge old (at the next call into the
// provider, or by the committer thread), before any other statement that writes, before a long read is
// copied, when a connection closes, and when the program ends. A group the engine rolls back (a full disk, an
// I/O error) is kept as a loss and raised at the next call of any session of the process.

#include "ado/error.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ado::sqlite {

class Handle;

class WriteGroups {
public:
    // The groups of this process, made at the first call. When the program's static objects end, they are
    // shut down (see Shutdown); handles that outlive that keep the object alive but commit on their own.
    static std::shared_ptr<WriteGroups> OfProcess();

    WriteGroups() = default;
    ~WriteGroups();
    WriteGroups(const WriteGroups&) = delete;
    WriteGroups& operator=(const WriteGroups&) = delete;

    // The lock held by every use of an engine handle of the process: the program's calls and the committer.
    std::mutex& Lock() { return lock_; }

    // The calls below need Lock held.

    // Makes handle's group known; the committer starts with the first handle when groups are on.
    void Register(Handle* handle);
    void Unregister(Handle* handle);
    // Commits the open group of every handle. Raises ado::Error (the first failure, after trying every
    // handle); a group that failed stays open for the next attempt, a group the engine rolled back is kept as
    // a loss (see RaiseLoss).
    void CommitAll();
    // Commits the open group of every handle but except, like CommitAll.
    void CommitAllBut(const Handle* except);
    // Wakes the committer, which sleeps while no group is open: a handle has opened one.
    void GroupOpened();
    // Commits every group when the oldest is due. Raises like CommitAll.
    void CommitIfDue();
    // Keeps lost, the error of a group the engine rolled back, for the next call of any session.
    void KeepLoss(const Error& lost);
    // Raises, once, the first loss kept since the last call; returns when there is none.
    void RaiseLoss();

    // Stops the committer and commits every group; a failure or a loss nobody was told of goes to standard
    // error, since there is nobody left to raise it to. Groups opened later are committed by the calls that
    // follow and by their handle's end, without a committer.
    void Shutdown();

private:
    // The committer: commits the groups the program has left open and has not touched since.
    void CommitWhileQuiet();

    std::mutex lock_;
    std::vector<Handle*> handles_;
    std::optional<Error> loss_;
    std::thread committer_;
    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool stopping_ = false;    // guarded by wakeLock_
    bool groupsOpen_ = false;  // a group may be open; guarded by wakeLock_
};

// Writes what happened to writes that nobody is left to raise it to (the program is ending) to standard
// error, as an error line.
void TellOfWritesAtEnd(const QString& what, const Error& err);

// One call into the engine: holds the groups' lock for its lifetime and keeps the groups alive.
class EngineCall {
public:
    explicit EngineCall(std::shared_ptr<WriteGroups> groups)
        : groups_(std::move(groups)), lock_(groups_->Lock()) {}

private:
    std::shared_ptr<WriteGroups> groups_;
    std::unique_lock<std::mutex> lock_;
};

}  // namespace ado::sqlite
