// The one wait of the tests: every test that waits for something another
// thread or process does (a window, a row, a file, a log line, a service
// state) asks the condition again and again until it holds or the limit
// passes. The limit only bounds a broken run; a passing run takes as long as
// the condition takes, whatever the machine's load.
#pragma once

#include <windows.h>

namespace testwait {

// How often a condition is asked again when nothing else is to be done.
constexpr DWORD kPollMs = 20;

// Asks `done` until it answers true or `limitMs` has passed; the last answer.
// Between two questions `between` runs (a message pump in window tests).
template <typename Predicate, typename Between>
bool WaitUntil(Predicate done, DWORD limitMs, Between between)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= limitMs)
            return done();
        between();
    }
    return true;
}

// The same for a thread without windows of its own: it rests between
// questions. The only fixed pause of the tests is this poll interval.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD limitMs)
{
    return WaitUntil(done, limitMs, [] { Sleep(kPollMs); });
}

} // namespace testwait
