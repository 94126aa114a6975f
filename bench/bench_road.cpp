// The request round trip beside its floor, measured interleaved: every round
// takes one bare event ping-pong between this process and a child (the floor
// under any round trip through another process), one operation that no rule
// matches (the driver alone), and one for each rule that scripts/bench.sh
// gives the guard (answered without logging, answered and logged). All rows
// thus see the same load of the machine, which on a shared machine drifts
// more within a second than the differences between them.
//   bench_road.exe [rounds]       (default 1000; the guard must be running)
#include "driver/common/InjectProtocol.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const wchar_t kPing[] = L"HarrowmereBenchPing";
const wchar_t kPong[] = L"HarrowmereBenchPong";
const wchar_t kQuit[] = L"HarrowmereBenchQuit";

int Child()
{
    HANDLE ping = OpenEventW(SYNCHRONIZE, FALSE, kPing);
    HANDLE pong = OpenEventW(EVENT_MODIFY_STATE, FALSE, kPong);
    HANDLE quit = OpenEventW(SYNCHRONIZE, FALSE, kQuit);
    if (!ping || !pong || !quit)
        return 1;
    HANDLE waits[2] = { quit, ping };
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        SetEvent(pong);
    return 0;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    size_t i = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

double Micros(LARGE_INTEGER before, LARGE_INTEGER after)
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return static_cast<double>(after.QuadPart - before.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

struct Row {
    const char* label;
    const wchar_t* path; // null for the ping-pong
    uint32_t outcome;    // the outcome every round must have
    std::vector<uint8_t> operation;
    std::vector<double> micros;
    int wrong = 0;
};

std::vector<uint8_t> Operation(const wchar_t* path)
{
    std::vector<uint8_t> bytes(sizeof(WATCH_INJECT_OPERATION), 0);
    auto* op = reinterpret_cast<WATCH_INJECT_OPERATION*>(bytes.data());
    op->kind = 0;
    op->processId = GetCurrentProcessId();
    const wchar_t name[] = L"bench_road.exe";
    for (size_t i = 0; name[i]; ++i)
        op->processName[i] = name[i];
    for (size_t i = 0; path[i] && i + 1 < WATCH_INJECT_PARAM1_CHARS; ++i)
        op->param1[i] = path[i];
    return bytes;
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

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "--child") == 0)
        return Child();
    int rounds = argc > 1 ? atoi(argv[1]) : 1000;
    if (rounds <= 0)
        rounds = 1000;

    HANDLE device = OpenDriver();
    if (device == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "the Harrowmere driver cannot be reached\n");
        return 1;
    }
    HANDLE ping = CreateEventW(nullptr, FALSE, FALSE, kPing);
    HANDLE pong = CreateEventW(nullptr, FALSE, FALSE, kPong);
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, kQuit);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --child";
    STARTUPINFOW si = { sizeof(si) };
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        fprintf(stderr, "cannot start the child process\n");
        return 1;
    }
    // Warm-up round: the child is ready once it answers.
    SetEvent(ping);
    WaitForSingleObject(pong, 10000);

    Row rows[] = {
        { "event ping-pong between two processes", nullptr, 0, {}, {} },
        { "no rule matches (driver only)", L"C:\\bench\\none\\a.txt", WATCH_OUTCOME_NOT_MATCHED, {}, {} },
        { "rule answers, not logged", L"C:\\bench\\quiet\\a.txt", WATCH_OUTCOME_ANSWERED, {}, {} },
        { "rule answers and logs", L"C:\\bench\\logged\\a.txt", WATCH_OUTCOME_ANSWERED, {}, {} },
    };
    for (Row& row : rows) {
        if (row.path)
            row.operation = Operation(row.path);
        row.micros.reserve(static_cast<size_t>(rounds));
    }
    for (int i = 0; i < rounds; ++i) {
        for (Row& row : rows) {
            LARGE_INTEGER before, after;
            WATCH_INJECT_RESULT result = {};
            DWORD got = 0;
            QueryPerformanceCounter(&before);
            if (!row.path) {
                SetEvent(ping);
                WaitForSingleObject(pong, INFINITE);
            } else if (!DeviceIoControl(device, IOCTL_WATCH_INJECT, row.operation.data(),
                                        static_cast<DWORD>(row.operation.size()), &result, sizeof(result), &got,
                                        nullptr)) {
                result.outcome = 0xFFFFFFFFu;
            }
            QueryPerformanceCounter(&after);
            row.micros.push_back(Micros(before, after));
            row.wrong += row.path && result.outcome != row.outcome;
        }
    }
    SetEvent(quit);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(device);

    printf("%-40s %8s %8s %8s %8s\n", "(microseconds, rounds interleaved)", "min", "median", "p99", "max");
    double median[4];
    // Within one round the rows run a few hundred microseconds apart, so the
    // difference of two rows in the same round is little touched by the load.
    std::vector<double> extra; // decided minus driver only, round by round
    for (int i = 0; i < rounds; ++i)
        extra.push_back(rows[2].micros[i] - rows[1].micros[i]);
    std::sort(extra.begin(), extra.end());
    for (int r = 0; r < 4; ++r) {
        Row& row = rows[r];
        std::sort(row.micros.begin(), row.micros.end());
        median[r] = Percentile(row.micros, 0.5);
        printf("%-40s %8.1f %8.1f %8.1f %8.1f%s\n", row.label, row.micros.front(), median[r],
               Percentile(row.micros, 0.99), row.micros.back(),
               row.wrong ? "  (unexpected outcome: is the guard running with the bench rules?)" : "");
    }
    double limit = median[1] + 2 * median[0];
    printf("decided, not logged: driver only + %.1f floors (goal: at most 2), %.1f <= %.1f: %s\n",
           (median[2] - median[1]) / median[0], median[2], limit, median[2] <= limit ? "met" : "not met");
    printf("the same, paired by round: median %.1f us = %.1f floors (quartiles %.1f .. %.1f us)\n",
           Percentile(extra, 0.5), Percentile(extra, 0.5) / median[0], Percentile(extra, 0.25),
           Percentile(extra, 0.75));
    return 0;
}
