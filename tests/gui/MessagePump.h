// Runs the message loop of the test's thread for a while, as the program's
// loop would (filters and modeless dialogs included), so that posted
// messages, timers and painting happen.
#pragma once

#include "support/Wait.h"

#include <windows.h>

namespace gui {
void Pump(DWORD ms);
// Pumps until `done` answers true or `limitMs` has passed; the last answer.
// For waits whose length depends on the machine's load.
template <typename Predicate>
bool PumpUntil(Predicate done, DWORD limitMs = 20000)
{
    return testwait::WaitUntil(done, limitMs, [] { Pump(10); });
}
} // namespace gui
