#include "ado/sqlite/write_groups.h"

#include "ado/sqlite/handle.h"
#include "ado/sqlite/tuning.h"
#include "platform/application.h"

#include <algorithm>

namespace ado::sqlite {

namespace {

// What the program ends with: the groups, shut down when the program's static objects end.
struct ProcessGroups {
    std::shared_ptr<WriteGroups> groups = std::make_shared<WriteGroups>();
    ~ProcessGroups() { groups->Shutdown(); }
};

}  // namespace

void TellOfWritesAtEnd(const QString& what, const Error& err) {
    platform::WriteErrorLine(what + QStringLiteral(": ") + err.Description());
}

std::shared_ptr<WriteGroups> WriteGroups::OfProcess() {
    static ProcessGroups process;
    return process.groups;
}

WriteGroups::~WriteGroups() {
    Shutdown();
}

void WriteGroups::Register(Handle* handle) {
    handles_.push_back(handle);
    const std::lock_guard wait(wakeLock_);
    if (!committer_.joinable() && !stopping_ && ProcessTuning().groupAge.count() > 0)
        committer_ = std::thread(&WriteGroups::CommitWhileQuiet, this);
}

void WriteGroups::Unregister(Handle* handle) {
    std::erase(handles_, handle);
}

void WriteGroups::CommitAllBut(const Handle* except) {
    std::optional<Error> first;
    for (Handle* handle : handles_) {
        if (handle == except)
            continue;
        try {
            if (std::optional<Error> lost = handle->CommitGroup())
                KeepLoss(*lost);
        } catch (const Error& err) {
            if (!first)
                first = err;
        }
    }
    if (first)
        throw *first;
}

void WriteGroups::CommitAll() {
    CommitAllBut(nullptr);
}

void WriteGroups::CommitIfDue() {
    const auto due = std::chrono::steady_clock::now() - ProcessTuning().groupAge;
    for (const Handle* handle : handles_) {
        if (handle->GroupOpen() && handle->GroupStarted() <= due) {
            CommitAll();
            return;
        }
    }
}

void WriteGroups::KeepLoss(const Error& lost) {
    if (!loss_)
        loss_ = lost;
}

void WriteGroups::RaiseLoss() {
    if (!loss_)
        return;
    const Error lost = *loss_;
    loss_.reset();
    throw lost;
}

void WriteGroups::GroupOpened() {
    {
        const std::lock_guard wait(wakeLock_);
        groupsOpen_ = true;
    }
    wake_.notify_all();
}

void WriteGroups::CommitWhileQuiet() {
    for (;;) {
        {
            // Asleep while no group is open (a run waiting for its schedule), then one group age at a time.
            std::unique_lock wait(wakeLock_);
            wake_.wait(wait, [this] { return stopping_ || groupsOpen_; });
            wake_.wait_for(wait, ProcessTuning().groupAge, [this] { return stopping_; });
            if (stopping_)
                return;
        }
        const std::lock_guard hold(lock_);
        try {
            CommitIfDue();
        } catch (const Error&) {
            // Another process holds a file's write lock: the groups stay open and the next round tries again;
            // the program's own next call reports a failure that lasts.
        }
        const bool open = std::any_of(handles_.begin(), handles_.end(),
                                      [](const Handle* handle) { return handle->GroupOpen(); });
        const std::lock_guard wait(wakeLock_);
        groupsOpen_ = open;
    }
}

void WriteGroups::Shutdown() {
    {
        const std::lock_guard wait(wakeLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (committer_.joinable())
        committer_.join();
    const std::lock_guard hold(lock_);
    try {
        CommitAll();
    } catch (const Error& err) {
        TellOfWritesAtEnd(QStringLiteral("Writes of the last moments could not be committed at exit"), err);
    }
    if (loss_) {
        TellOfWritesAtEnd(QStringLiteral("Writes were lost"), *loss_);
        loss_.reset();
    }
}

}  // namespace ado::sqlite
