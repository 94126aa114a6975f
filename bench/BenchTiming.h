// The clock of the benchmarks: seconds from the performance counter, and the
// time per run of a piece of work repeated for a time budget.
#pragma once

#include <windows.h>

inline double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs `work` until at least `budget` seconds have passed; seconds per run.
template <class F>
double TimePerRun(F&& work, double budget = 0.3)
{
    int runs = 0;
    double start = Seconds(), elapsed = 0;
    do {
        work();
        ++runs;
        elapsed = Seconds() - start;
    } while (elapsed < budget);
    return elapsed / runs;
}
