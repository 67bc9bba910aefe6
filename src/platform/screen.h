#pragma once
// The screen: the mouse pointer, pending window events and the collection of loaded windows.

#include <vector>

namespace platform {

class Form;

inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

class Screen {
public:
    // The current mouse pointer (vbDefault or vbHourglass); the hourglass is Qt's override wait cursor.
    static int MousePointer();
    static void SetMousePointer(int pointer);

    // Runs the pending window events once (and releases windows whose references were emptied).
    static void DoEvents();

    // The loaded windows, in the order they were loaded.
    static const std::vector<Form*>& Forms();

private:
    friend class Form;
    static void Register(Form* form);
    static void Unregister(Form* form);
};

}  // namespace platform
