// The floor under the request round trip: a bare event ping-pong between two
// processes under the same Wine. The parent signals "ping", the child answers
// "pong"; each round trip is timed like WatchSim times a request.
//   bench_pingpong.exe [rounds]       (default 1000)
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

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "--child") == 0)
        return Child();
    int rounds = argc > 1 ? atoi(argv[1]) : 1000;
    if (rounds <= 0)
        rounds = 1000;

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

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    // Warm-up round: the child is ready once it answers.
    SetEvent(ping);
    WaitForSingleObject(pong, 10000);
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        SetEvent(ping);
        WaitForSingleObject(pong, INFINITE);
        QueryPerformanceCounter(&after);
        micros.push_back(static_cast<double>(after.QuadPart - before.QuadPart) * 1e6 /
                         static_cast<double>(frequency.QuadPart));
    }
    SetEvent(quit);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    std::sort(micros.begin(), micros.end());
    printf("count=%u min_us=%.1f median_us=%.1f p99_us=%.1f max_us=%.1f\n", static_cast<unsigned>(micros.size()),
           micros.front(), Percentile(micros, 0.5), Percentile(micros, 0.99), micros.back());
    return 0;
}
