// Drives modal windows (dialogs, message boxes) that a test's own thread
// opens: a watch waits, from inside whatever modal loop runs, for a visible
// window of this thread with the given title and runs an action on it once.
// Watches are served by one thread timer, in the order they were made.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace gui {

// Runs the first watch whose window is there (called by the timer).
void ServeWatches();

class ModalWatch {
public:
    ModalWatch(std::wstring title, std::function<void(HWND)> action);
    ~ModalWatch();
    ModalWatch(const ModalWatch&) = delete;
    ModalWatch& operator=(const ModalWatch&) = delete;

    bool Seen() const { return m_seen; }
    // Text of the message box that was seen (its static text), if any.
    const std::wstring& BoxText() const { return m_boxText; }

private:
    friend void ServeWatches();
    std::wstring m_title;
    std::function<void(HWND)> m_action;
    bool m_seen = false;
    std::wstring m_boxText;
};

// Presses a button of a dialog or message box as a click would.
void PressButton(HWND dialog, int id);
// Text of a control (or of the window when id is 0).
std::wstring TextOf(HWND dialog, int id = 0);

} // namespace gui
