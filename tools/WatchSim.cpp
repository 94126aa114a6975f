// WatchSim: hands one operation to the Harrowmere driver as if the driver had
// intercepted it, and prints the verdict.
//
//   WatchSim.exe <kind> <first parameter> [<second parameter>]
//                [--process NAME] [--pid N] [--repeat N]
//
// kind: OpenFile, RegSetValue or Execute (any letter case) or 0, 1, 2.
// RegSetValue takes two parameters (key path, value name), the others one.
// Prints "verdict=<0|1|2> rule=<0x........|none>"; with --repeat N the
// operation is sent N times and a second line gives the count and the
// minimum, median, 99th percentile and maximum round trip in microseconds.
// Exit codes: 0 done, 2 bad usage, 3 the driver cannot be reached.
#include "driver/common/InjectProtocol.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const int kExitDone = 0;
const int kExitUsage = 2;
const int kExitNoDriver = 3;

struct Arguments {
    uint32_t kind = 0;
    std::wstring param1;
    std::wstring param2;
    std::wstring process = L"WatchSim.exe";
    uint32_t pid = 0;
    bool pidGiven = false;
    uint32_t repeat = 1;
    bool repeatGiven = false;
};

// A decimal number that fills the whole text and fits 32 bits.
bool ParseNumber(const wchar_t* text, uint32_t* value)
{
    if (!*text)
        return false;
    uint64_t n = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p < L'0' || *p > L'9')
            return false;
        n = n * 10 + uint64_t(*p - L'0');
        if (n > 0xFFFFFFFFu)
            return false;
    }
    *value = uint32_t(n);
    return true;
}

bool ParseKind(const wchar_t* text, uint32_t* kind)
{
    static const wchar_t* const names[] = { L"OpenFile", L"RegSetValue", L"Execute" };
    for (uint32_t i = 0; i < 3; ++i) {
        if (_wcsicmp(text, names[i]) == 0 || (text[0] == L'0' + int(i) && text[1] == 0)) {
            *kind = i;
            return true;
        }
    }
    return false;
}

// Fills `args` from the command line (argv[0] excluded); false on bad usage.
bool ParseArguments(int argc, wchar_t** argv, Arguments* args)
{
    std::vector<std::wstring> positional;
    for (int i = 0; i < argc; ++i) {
        std::wstring a = argv[i];
        bool option = a == L"--process" || a == L"--pid" || a == L"--repeat";
        if (!option) {
            if (a.size() > 2 && a.compare(0, 2, L"--") == 0)
                return false; // unknown option
            positional.push_back(a);
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const wchar_t* value = argv[++i];
        if (a == L"--process") {
            args->process = value;
        } else if (a == L"--pid") {
            if (!ParseNumber(value, &args->pid))
                return false;
            args->pidGiven = true;
        } else {
            if (!ParseNumber(value, &args->repeat) || args->repeat == 0)
                return false;
            args->repeatGiven = true;
        }
    }
    if (positional.empty() || !ParseKind(positional[0].c_str(), &args->kind))
        return false;
    size_t wanted = args->kind == 1 ? 3 : 2;
    if (positional.size() != wanted)
        return false;
    args->param1 = positional[1];
    if (wanted == 3)
        args->param2 = positional[2];
    return true;
}

// Copies a text into a fixed field, cut to leave room for the NUL.
void CopyField(uint16_t* field, size_t chars, const std::wstring& text)
{
    size_t n = std::min(text.size(), chars - 1);
    for (size_t i = 0; i < n; ++i)
        field[i] = uint16_t(text[i]);
    field[n] = 0;
}

HANDLE OpenDriver()
{
    for (const wchar_t* path : { L"\\\\.\\Global\\Harrowmere", L"\\\\.\\Harrowmere" }) {
        HANDLE device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (device != INVALID_HANDLE_VALUE)
            return device;
    }
    return INVALID_HANDLE_VALUE;
}

// Value at rank `p` (0..1, nearest rank) of sorted samples.
double Percentile(const std::vector<double>& sorted, double p)
{
    size_t rank = size_t(p * double(sorted.size()) + 0.999999);
    rank = std::max<size_t>(rank, 1);
    return sorted[std::min(rank, sorted.size()) - 1];
}

void PrintUsage()
{
    fwprintf(stderr, L"usage: WatchSim.exe <OpenFile|RegSetValue|Execute|0|1|2> <first parameter> "
                     L"[<second parameter>] [--process NAME] [--pid N] [--repeat N]\n");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Arguments args;
    if (!ParseArguments(argc - 1, argv + 1, &args)) {
        PrintUsage();
        return kExitUsage;
    }
    if (!args.pidGiven)
        args.pid = GetCurrentProcessId();

    // The record is large: keep it off the stack.
    std::vector<WATCH_INJECT_OPERATION> buffer(1);
    WATCH_INJECT_OPERATION& op = buffer[0];
    ZeroMemory(&op, sizeof(op));
    op.kind = args.kind;
    op.processId = args.pid;
    CopyField(op.processName, WATCH_INJECT_PROCESS_CHARS, args.process);
    CopyField(op.param1, WATCH_INJECT_PARAM1_CHARS, args.param1);
    CopyField(op.param2, WATCH_INJECT_PARAM2_CHARS, args.param2);

    HANDLE device = OpenDriver();
    if (device == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"WatchSim: the Harrowmere driver cannot be reached (error %lu)\n",
                 GetLastError());
        return kExitNoDriver;
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> micros;
    micros.reserve(args.repeat);
    WATCH_INJECT_RESULT result = {};
    for (uint32_t i = 0; i < args.repeat; ++i) {
        LARGE_INTEGER before, after;
        DWORD got = 0;
        QueryPerformanceCounter(&before);
        BOOL ok = DeviceIoControl(device, IOCTL_WATCH_INJECT, &op, sizeof(op), &result,
                                  sizeof(result), &got, nullptr);
        QueryPerformanceCounter(&after);
        if (!ok || got < sizeof(result)) {
            fwprintf(stderr, L"WatchSim: the driver did not take the operation (error %lu)\n",
                     ok ? ERROR_INVALID_DATA : GetLastError());
            CloseHandle(device);
            return kExitNoDriver;
        }
        micros.push_back(double(after.QuadPart - before.QuadPart) * 1e6 / double(frequency.QuadPart));
    }
    CloseHandle(device);

    if (result.matched)
        printf("verdict=%u rule=0x%08X\n", unsigned(result.verdict), unsigned(result.ruleId));
    else
        printf("verdict=%u rule=none\n", unsigned(result.verdict));
    if (args.repeatGiven) {
        std::sort(micros.begin(), micros.end());
        printf("count=%u min_us=%.1f median_us=%.1f p99_us=%.1f max_us=%.1f\n",
               unsigned(micros.size()), micros.front(), Percentile(micros, 0.5),
               Percentile(micros, 0.99), micros.back());
    }
    fflush(stdout);
    return kExitDone;
}
