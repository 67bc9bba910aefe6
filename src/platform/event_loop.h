#pragma once
// Event procedures and Qt's event loop. An exception must not cross Qt's event loop, so every event procedure
// that Qt calls runs through one guard: a run-time error, "end at once" or any other exception it raises is
// kept, the loop that called it is left, and the code that ran the loop raises it again once the loop has
// returned. A procedure that a statement of the program sets off (a list's path set from code raises its
// change event) is not guarded: its error reaches that statement, as an error of a called procedure does.

#include <exception>
#include <functional>

namespace platform {

// A stretch in which Qt runs the program's events: a local event loop, a message box's loop, or one pass over
// the pending events. Open it just before the loop runs and End it just after.
class EventLoopScope {
public:
    // leave, when given, makes the loop return (quits a local loop, closes a box); a pass over the pending
    // events returns by itself.
    explicit EventLoopScope(std::function<void()> leave = {});
    // Closes the scope when End was not reached (the loop itself raised); a kept failure is then dropped.
    ~EventLoopScope();
    EventLoopScope(const EventLoopScope&) = delete;
    EventLoopScope& operator=(const EventLoopScope&) = delete;

    // Closes the scope; raises again the first failure an event procedure kept while it was open.
    void End();

private:
    friend void RunEventProcedure(const std::function<void()>& procedure);
    void Close();

    std::function<void()> leave_;
    std::exception_ptr failure_;
    bool open_ = true;
};

// Runs an event procedure. Called by a loop that an EventLoopScope marks: an exception it raises is kept, the
// loop is left and the call returns; once a loop has a failure, no further procedure runs in it. Called by a
// statement of the program, or with no loop running: the exception reaches the caller.
void RunEventProcedure(const std::function<void()>& procedure);

// The slot for a Qt signal: procedure (which takes no arguments) run through RunEventProcedure.
template <class Procedure>
auto EventProcedure(Procedure procedure) {
    return [procedure = std::move(procedure)] { RunEventProcedure(procedure); };
}

}  // namespace platform
