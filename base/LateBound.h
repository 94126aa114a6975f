// System functions newer than the platform floor (Windows XP SP3 for the
// 32-bit build, 64-bit Vista for the 64-bit one), bound by name at run time,
// each with a fallback for a system that lacks it. Nothing here is imported
// by name, so the executables load on the floor.
#pragma once

#include <windows.h>

#include <cstdint>

// The address of `name` in the already loaded system module `module`
// ("kernel32.dll"...), or null when the module or the function is missing.
// The result may be kept: system modules are never unloaded.
FARPROC BoundSystemFunction(const wchar_t* module, const char* name);

template <class F>
F* BoundSystemFunction(const wchar_t* module, const char* name)
{
    return reinterpret_cast<F*>(reinterpret_cast<void*>(BoundSystemFunction(module, name)));
}

// Milliseconds since the system started, never wrapping: GetTickCount64
// (Vista and later), or GetTickCount with its wraps counted (the count is
// right as long as it is asked at least once every 49 days).
uint64_t TickCount64();

// Whether the two NUL-terminated texts are equal without regard to case,
// unit by unit, with no locale: CompareStringOrdinal (Vista and later), or
// the system's upper case of each unit compared.
bool EqualNoCaseOrdinal(const wchar_t* a, const wchar_t* b);

namespace late {
// The fallbacks on their own, for the tests.
uint64_t TickCount64FromWrappingCount(uint32_t now);
bool EqualNoCaseByUpperCase(const wchar_t* a, const wchar_t* b);
} // namespace late
