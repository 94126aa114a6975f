// Loading the sensor into running processes: the excluded ones and the
// guard itself are never touched, a process that cannot be opened is
// refused (the watcher tries again), and a running program gets the sensor
// loaded.
#include "helper/HelperProcess.h"
#include "support/Wait.h"
#include "sensor/SensorFiles.h"
#include "watch/ProcessWatcher.h"
#include "watch/SensorDelivery.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cwchar>

namespace {

// The staged sensor, beside the program files of this build.
std::wstring StagedSensor()
{
    return SensorPathIn(helper::ProgramFolder() + L"..\\stage");
}

bool HasModule(DWORD pid, const wchar_t* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    MODULEENTRY32W entry = { sizeof(entry) };
    for (BOOL ok = Module32FirstW(snapshot, &entry); ok && !found; ok = Module32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szModule, name) == 0;
    CloseHandle(snapshot);
    return found;
}

uint32_t ThreadCount(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    uint32_t count = 0;
    THREADENTRY32 entry = { sizeof(entry) };
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == pid;
    CloseHandle(snapshot);
    return count;
}

TEST(SensorDelivery, ExcludedAndUnreachableProcessesAreNeverLoaded)
{
    struct Case {
        DWORD pid;
        const wchar_t* image;
        SensorDelivery result;
    } cases[] = {
        { GetCurrentProcessId(), L"hm_unit_tests.exe", SensorDelivery::Excluded },
        { 0, L"System Idle", SensorDelivery::Excluded },
        { 4242424, L"winedevice.exe", SensorDelivery::Excluded },
        { 4242424, L"Harrowmere.exe", SensorDelivery::Excluded },
        { 4242424, L"notepad.exe", SensorDelivery::Refused },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, DeliverSensor(c.pid, c.image, StagedSensor())) << c.image;
}

// A process that cannot run the loading thread yet (here: created suspended)
// neither holds up the watcher's scans nor is given a second thread: a
// program started after it is reached, and the suspended one gets the sensor
// once it runs.
TEST(SensorDelivery, RunningProgramGetsTheSensorAndTheWatcherCountsIt)
{
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(StagedSensor().c_str()));
    helper::CHelperProcess first;
    ASSERT_TRUE(first.Start(L"sleep"));
    EXPECT_FALSE(HasModule(first.Id(), HM_SENSOR_FILE));
    // Listed without an image name, a process is too young to be judged
    // (its width is not known yet): the next scan asks again.
    EXPECT_EQ(SensorDelivery::Refused, DeliverSensor(first.Id(), L"", StagedSensor()));
    EXPECT_FALSE(HasModule(first.Id(), HM_SENSOR_FILE));
    EXPECT_EQ(SensorDelivery::Delivered, DeliverSensor(first.Id(), L"hm_child_helper.exe", StagedSensor()));
    EXPECT_TRUE(HasModule(first.Id(), HM_SENSOR_FILE));
    // A process that carries the sensor is left alone: no second thread.
    EXPECT_TRUE(HasSensorMark(first.Id()));
    EXPECT_EQ(SensorDelivery::AlreadyGuarded, DeliverSensor(first.Id(), L"hm_child_helper.exe", StagedSensor()));

    // The event it signals is never waited for: the test looks for the sensor.
    std::wstring command = L"\"" + helper::HelperPath() + L"\" sleep HmSuspendedHelper";
    STARTUPINFOW si = { sizeof(si) };
    PROCESS_INFORMATION suspended = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &si, &suspended));
    ui::CHandle suspendedProcess(suspended.hProcess), suspendedThread(suspended.hThread);
    // Its loader has not started: no thread is put into it yet.
    EXPECT_EQ(SensorDelivery::Refused, DeliverSensor(suspended.dwProcessId, L"hm_child_helper.exe", StagedSensor()));
    EXPECT_EQ(1u, ThreadCount(suspended.dwProcessId));

    CProcessWatcher watcher;
    ASSERT_TRUE(watcher.Start(StagedSensor()));
    helper::CHelperProcess later;
    ASSERT_TRUE(later.Start(L"sleep"));
    EXPECT_TRUE(testwait::WaitUntil([&] { return HasModule(later.Id(), HM_SENSOR_FILE); }, 15000));
    EXPECT_GE(watcher.GetCounts().delivered, 1u);
    // Scans went on past the suspended process without a thread of theirs.
    EXPECT_EQ(1u, ThreadCount(suspended.dwProcessId));

    ResumeThread(suspendedThread.Get());
    EXPECT_TRUE(testwait::WaitUntil([&] { return HasModule(suspended.dwProcessId, HM_SENSOR_FILE); }, 15000));
    EXPECT_GE(watcher.GetCounts().delivered, 2u);
    watcher.Stop();
    EXPECT_FALSE(watcher.Running());
    TerminateProcess(suspendedProcess.Get(), 0);
}

} // namespace
