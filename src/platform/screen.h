#pragma once
// The screen: the mouse pointer, pending window events and the collection of loaded windows.

#include <vector>

namespace platform {

class Form;

inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

class Screen {
public:
    // The current mouse pointer (vbDefault or vbHourglass); the hourglass is Qt's override wait cursor and
    // any other pointer shows the arrow.
    static int MousePointer();
    static void SetMousePointer(int pointer);

    // Runs the pending window events once (and releases windows whose references were emptied). Events of
    // the window system are fetched at most every few milliseconds; events posted within the program at
    // every call.
    static void DoEvents();
    // Waits until window events arrive and runs them. Both raise again the failure of an event procedure that
    // ran.
    static void WaitForEvents();

    // The loaded windows, in the order they were loaded.
    static const std::vector<Form*>& Forms();

private:
    friend class Form;
    friend class FormRefBase;
    static void Register(Form* form);
    static void Unregister(Form* form);
    // Keeps a form to be deleted by DoEvents once it is unloaded and none of its procedures runs.
    static void ScheduleRelease(Form* form);
    static void ForgetRelease(Form* form);
    static void ReleasePendingForms();
};

}  // namespace platform
