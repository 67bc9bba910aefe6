#include "platform/event_loop.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace platform {

namespace {

// What runs now, innermost last: an event loop (its scope), or an event procedure (nullptr).
std::vector<EventLoopScope*>& Running() {
    static std::vector<EventLoopScope*> running;
    return running;
}

// Marks an event procedure as running for as long as it lives.
class ProcedureFrame {
public:
    ProcedureFrame() { Running().push_back(nullptr); }
    ~ProcedureFrame() { Running().pop_back(); }
    ProcedureFrame(const ProcedureFrame&) = delete;
    ProcedureFrame& operator=(const ProcedureFrame&) = delete;
};

}  // namespace

EventLoopScope::EventLoopScope(std::function<void()> leave) : leave_(std::move(leave)) {
    Running().push_back(this);
}

EventLoopScope::~EventLoopScope() {
    Close();
}

void EventLoopScope::Close() {
    if (!open_)
        return;
    open_ = false;
    std::vector<EventLoopScope*>& running = Running();
    // Scopes close innermost first; an inner one that a failure unwound is already gone.
    running.erase(std::find(running.begin(), running.end(), this), running.end());
}

void EventLoopScope::End() {
    Close();
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

void RunEventProcedure(const std::function<void()>& procedure) {
    const std::vector<EventLoopScope*>& running = Running();
    EventLoopScope* loop = running.empty() ? nullptr : running.back();
    if (loop == nullptr) {
        ProcedureFrame frame;
        procedure();
        return;
    }
    if (loop->failure_)
        return;
    try {
        ProcedureFrame frame;
        procedure();
    } catch (...) {
        loop->failure_ = std::current_exception();
        if (loop->leave_)
            loop->leave_();
    }
}

}  // namespace platform
