// Registry set-up with helpers from Vista on; measured on x86_64 only.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// Process manager and finder costs with 100 extra sleeping processes: one
// refresh as the worker gathers it (the first describes every process, later
// ones only sample), the window thread's part of a refresh (rows, texts,
// painting), the handle list of one process, and the searches for one file
// and one module across all processes. Milliseconds per operation.
#include "sysview/ModuleHandleSearch.h"
#include "sysview/ProcessDetails.h"
#include "sysview/ProcessSampler.h"
#include "sysview/SystemHandleInfo.h"
#include "sysview/ui/TaskManagerDlg.h"

#include "helper/HelperProcess.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kExtraProcesses = 100;
const int kRounds = 20;

double Milliseconds(const std::function<void()>& work)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Row(const std::string& name, int rounds, double total)
{
    std::printf("%-52s %6d %10.2f\n", name.c_str(), rounds, total / rounds);
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

int main()
{
    std::vector<std::unique_ptr<helper::CHelperProcess>> sleepers;
    DWORD started = GetTickCount();
    for (int i = 0; i < kExtraProcesses; ++i) {
        sleepers.push_back(std::make_unique<helper::CHelperProcess>());
        if (!sleepers.back()->Start(L"sleep")) {
            std::printf("could not start helper %d (error %lu)\n", i, GetLastError());
            return 1;
        }
    }
    std::printf("%d helpers started in %lu ms\n", kExtraProcesses, GetTickCount() - started);
    std::wstring name = L"hm-bench-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    helper::CHelperProcess holder;
    if (!holder.Start(L"hold", L"C:\\" + name))
        return 1;
    CSystemProcessInfo snapshot(true);
    CSystemHandleInfo files;
    files.SetTypeFilter(L"File");
    files.Refresh();
    CSystemHandleInfo all(CSystemHandleInfo::kAllProcesses, true);
    std::printf("%zu processes, %zu handles, %zu of them files\n\n", snapshot.Count(), all.Handles().size(),
                files.Handles().size());
    std::printf("%-52s %6s %10s\n", "case", "rounds", "ms/op");

    // The worker's part.
    CProcessSampler sampler(DescribeProcess);
    Row("refresh on the worker, first (describes all)", 1, Milliseconds([&] { sampler.Sample(); }));
    Row("refresh on the worker, later", kRounds, Milliseconds([&] {
            for (int i = 0; i < kRounds; ++i)
                sampler.Sample();
        }));

    // The window thread's part, with painting; the window's own worker is
    // given nothing to do.
    TASK_MANAGER_CONTEXT context;
    context.stateKey.path = L"Software\\HarrowmereBench";
    context.refreshMs = 3600 * 1000;
    context.sample = [] { return PROCESS_REFRESH(); };
    CTaskManagerDlg window(context);
    if (!window.Create(nullptr))
        return 1;
    ShowWindow(window.Hwnd(), SW_SHOW);
    Sleep(200);
    Pump();
    CProcessSampler windowSampler(DescribeProcess);
    PROCESS_REFRESH first = windowSampler.Sample();
    auto apply = [&](const PROCESS_REFRESH& refresh) {
        window.ApplyRefresh(refresh);
        UpdateWindow(window.ProcessList().List());
        Pump();
    };
    Row("refresh on the window thread, first (adds rows)", 1, Milliseconds([&] { apply(first); }));
    double windowTotal = 0, windowWorst = 0;
    for (int i = 0; i < kRounds; ++i) {
        PROCESS_REFRESH later = windowSampler.Sample();
        double ms = Milliseconds([&] { apply(later); });
        windowTotal += ms;
        windowWorst = ms > windowWorst ? ms : windowWorst;
    }
    Row("refresh on the window thread, later", kRounds, windowTotal);
    Row("refresh on the window thread, later, worst", 1, windowWorst);
    SendMessageW(window.Hwnd(), WM_CLOSE, 0, 0);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\HarrowmereBench");

    // Lists and searches (on their workers in the windows).
    size_t rows = 0;
    Row("handle list of this process (worker)", kRounds, Milliseconds([&] {
            for (int i = 0; i < kRounds; ++i)
                rows = ListHandleRows(GetCurrentProcessId()).size();
        }));
    Row("module list of this process (worker)", kRounds, Milliseconds([&] {
            for (int i = 0; i < kRounds; ++i)
                ListModuleRows(GetCurrentProcessId(), L"%d:%02d:%02d");
        }));
    SEARCH_KEY byName, byPath, module;
    MakeSearchKey(name, &byName);
    MakeSearchKey(L"C:\\" + name, &byPath);
    MakeSearchKey(L"kernel32.dll", &module);
    size_t hits = 0;
    Row("handle search for one file by name (worker)", 3, Milliseconds([&] {
            for (int i = 0; i < 3; ++i)
                hits = FindFileHolders(byName).size();
        }));
    Row("handle search for one file by path (worker)", 3, Milliseconds([&] {
            for (int i = 0; i < 3; ++i)
                FindFileHolders(byPath);
        }));
    Row("module search for kernel32.dll (worker)", 3, Milliseconds([&] {
            for (int i = 0; i < 3; ++i)
                FindModuleHolders(module);
        }));
    std::printf("\n(%zu named handles in this process; %zu holder(s) of the file found)\n", rows, hits);
    return hits == 1 ? 0 : 1;
}
