// Runs the message loop of the test's thread for a while, as the program's
// loop would (filters and modeless dialogs included), so that posted
// messages, timers and painting happen.
#pragma once

#include <windows.h>

namespace gui {
void Pump(DWORD ms);
} // namespace gui
