#include "ado/sqlite/write_group.h"

#include "ado/error.h"
#include "ado/sqlite/handle.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

namespace ado::sqlite {

namespace {

using Clock = std::chrono::steady_clock;

// The handles of the process and the thread that commits their groups while the program is quiet. Never
// destroyed: handles kept by pooled sessions may outlive every other static object.
struct Groups {
    std::vector<Handle*> handles;
    std::thread committer;
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool stopping = false;
};

Groups& GetGroups() {
    static Groups* groups = new Groups;
    return *groups;
}

std::optional<Clock::time_point> OldestGroup(const Groups& groups) {
    std::optional<Clock::time_point> oldest;
    for (const Handle* handle : groups.handles) {
        if (handle->GroupOpen() && (!oldest || handle->GroupStarted() < *oldest))
            oldest = handle->GroupStarted();
    }
    return oldest;
}

// The committer: every kGroupAge, commits the groups that the program left open and has not touched since.
void CommitWhileQuiet() {
    Groups& groups = GetGroups();
    for (;;) {
        {
            std::unique_lock wait(groups.wakeMutex);
            groups.wake.wait_for(wait, kGroupAge, [&] { return groups.stopping; });
            if (groups.stopping)
                return;
        }
        const std::lock_guard lock(EngineLock());
        try {
            CommitGroupsIfDue();
        } catch (const Error&) {
            // Another process holds the file's write lock: the groups stay open and the next round tries
            // again; the program's own next write or close reports a lasting failure.
        }
    }
}

// At exit: stops the committer and commits what is still grouped.
void CommitAtExit() {
    Groups& groups = GetGroups();
    {
        const std::lock_guard wait(groups.wakeMutex);
        groups.stopping = true;
    }
    groups.wake.notify_all();
    if (groups.committer.joinable())
        groups.committer.join();
    const std::lock_guard lock(EngineLock());
    try {
        CommitAllGroups();
    } catch (const Error& err) {
        std::fprintf(stderr, "Writes of the last moments could not be committed at exit: %s\n",
                     err.Description().toLocal8Bit().constData());
    }
}

}  // namespace

std::recursive_mutex& EngineLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

void Register(Handle* handle) {
    Groups& groups = GetGroups();
    groups.handles.push_back(handle);
    if (!groups.committer.joinable()) {
        groups.committer = std::thread(CommitWhileQuiet);
        std::atexit(CommitAtExit);
    }
}

void Unregister(Handle* handle) {
    std::erase(GetGroups().handles, handle);
}

void CommitAllGroups() {
    std::optional<Error> first;
    for (Handle* handle : GetGroups().handles) {
        try {
            handle->CommitGroup();
        } catch (const Error& err) {
            if (!first)
                first = err;
        }
    }
    if (first)
        throw *first;
}

void CommitGroupsIfDue() {
    const std::optional<Clock::time_point> oldest = OldestGroup(GetGroups());
    if (oldest && Clock::now() - *oldest >= kGroupAge)
        CommitAllGroups();
}

}  // namespace ado::sqlite
