#include "base/LateBound.h"

#include <atomic>

FARPROC BoundSystemFunction(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    return handle ? GetProcAddress(handle, name) : nullptr;
}

namespace late {

uint64_t TickCount64FromWrappingCount(uint32_t now)
{
    // The last value handed out; its high half counts the wraps seen.
    static std::atomic<uint64_t> last{0};
    uint64_t previous = last.load();
    for (;;) {
        uint32_t low = static_cast<uint32_t>(previous);
        // A count that went back by more than half its range has wrapped; a
        // small step back is only another thread that asked a moment later.
        if (now < low && low - now < 0x80000000u)
            return previous;
        uint64_t high = previous & 0xFFFFFFFF00000000ull;
        if (now < low)
            high += 0x100000000ull;
        uint64_t next = high | now;
        if (last.compare_exchange_weak(previous, next))
            return next;
    }
}

bool EqualNoCaseByUpperCase(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        // CharUpperW takes a single unit in the low word of its argument.
        auto upper = [](wchar_t c) {
            return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(ULONG_PTR(c)))));
        };
        if (*a != *b && upper(*a) != upper(*b))
            return false;
        if (!*a)
            return true;
    }
}

} // namespace late

namespace {

using TickCount64Function = ULONGLONG WINAPI();
using CompareOrdinalFunction = int WINAPI(LPCWCH, int, LPCWCH, int, BOOL);

// A function bound on first use. No function-local static (its guard takes
// a lock of the threads library, which calls TickCount64 itself): threads
// that race bind the same address.
template <class F>
class CLateFunction {
public:
    constexpr CLateFunction(const wchar_t* module, const char* name) : m_module(module), m_name(name) {}
    F* Get()
    {
        uintptr_t bound = m_bound.load(std::memory_order_acquire);
        if (bound == kUnbound) {
            bound = reinterpret_cast<uintptr_t>(BoundSystemFunction<F>(m_module, m_name));
            m_bound.store(bound, std::memory_order_release);
        }
        return reinterpret_cast<F*>(bound);
    }

private:
    // Never the address of a function; constant, so the object needs no
    // initialisation at start-up.
    static constexpr uintptr_t kUnbound = 1;
    const wchar_t* m_module;
    const char* m_name;
    std::atomic<uintptr_t> m_bound{kUnbound};
};

CLateFunction<TickCount64Function> g_getTickCount64(L"kernel32.dll", "GetTickCount64");
CLateFunction<CompareOrdinalFunction> g_compareStringOrdinal(L"kernel32.dll", "CompareStringOrdinal");

} // namespace

uint64_t TickCount64()
{
    if (TickCount64Function* f = g_getTickCount64.Get())
        return f();
    return late::TickCount64FromWrappingCount(GetTickCount());
}

bool EqualNoCaseOrdinal(const wchar_t* a, const wchar_t* b)
{
    if (CompareOrdinalFunction* f = g_compareStringOrdinal.Get())
        return f(a, -1, b, -1, TRUE) == CSTR_EQUAL;
    return late::EqualNoCaseByUpperCase(a, b);
}

#ifdef _WIN32
// The threads library of the toolchain (winpthreads, linked statically)
// calls GetTickCount64 through its import slot. The slot is defined here
// instead of being filled by the loader, so the executables import nothing
// that the floor lacks; the linker is told to take it from here (see
// hm_program in CMakeLists.txt).
namespace {
ULONGLONG WINAPI TickCount64ForRuntime()
{
    return TickCount64();
}
} // namespace

#ifdef _WIN64
extern "C" TickCount64Function* hm_runtimeTickCount64Slot __asm__("__imp_GetTickCount64");
#else
extern "C" TickCount64Function* hm_runtimeTickCount64Slot __asm__("__imp__GetTickCount64@0");
#endif
TickCount64Function* hm_runtimeTickCount64Slot = TickCount64ForRuntime;
#endif
