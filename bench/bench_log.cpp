// Log append rate: records per second into the in-memory queue alone, lines
// per second into the log file alone (rotations included), and the whole
// AddLogRecord (line + queue) as the request thread does it.
#include "log/ActivityLog.h"
#include "rules/ParamList.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

double Seconds(const std::function<void()>& work)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Row(const char* name, int count, double seconds)
{
    std::printf("%-34s %10d %10.3f %14.0f %10.2f\n", name, count, seconds, count / seconds,
                seconds * 1e6 / count);
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"hm_bench_log_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);

    PARAM_LIST* list = BuildParamList(1, "ss", L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                      L"Updater");
    if (!list)
        return 1;
    const std::wstring line = FormatLogRecordText(L"regedit.exe", 2, list);

    std::printf("%-34s %10s %10s %14s %10s\n", "case", "records", "seconds", "records/s", "us/record");

    const int queueCount = 200000;
    CLogQueue queue;
    queue.Init();
    double s = Seconds([&] {
        for (int i = 0; i < queueCount; ++i)
            queue.Add(L"regedit.exe", 1234, 2, 1, L"Run key watch", list);
    });
    Row("queue only (128 kept)", queueCount, s);
    queue.Close();

    const int fileCount = 30000;
    CLogFile file;
    if (file.Open(folder) != 0)
        return 1;
    s = Seconds([&] {
        for (int i = 0; i < fileCount; ++i)
            file.WriteLine(line.c_str());
    });
    Row("file only (with 1 MiB rotations)", fileCount, s);
    file.Close();

    if (OpenLogFile(folder.c_str()) != 0)
        return 1;
    InitLog();
    s = Seconds([&] {
        for (int i = 0; i < fileCount; ++i)
            AddLogRecord(L"regedit.exe", 1234, 2, 1, L"Run key watch", list);
    });
    Row("AddLogRecord (line + queue)", fileCount, s);
    CloseLog();
    CloseLogFile();

    FreeParamList(list);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
