#include "watch/ProcessWatcher.h"

#include "watch/SensorDelivery.h"

#include <tlhelp32.h>

#include <set>

namespace {

// A process that refuses the thread this many scans running is given up.
// About ten seconds of scans: on a loaded machine a starting process can
// refuse for longer than one second, and giving it up leaves it unguarded.
const int kMaxTries = 500;
// How long one delivery waits for its remote thread; a process that cannot
// run it yet is tried again at a later scan.
const DWORD kDeliveryWaitMs = 1000;

ULONGLONG FileTimeValue(const FILETIME& t)
{
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The creation time of process `pid`, 0 when it cannot be read.
ULONGLONG CreationTime(DWORD pid)
{
    ui::CHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    FILETIME created, exited, kernel, user;
    if (!process || !GetProcessTimes(process.Get(), &created, &exited, &kernel, &user))
        return 0;
    return FileTimeValue(created);
}

ULONGLONG Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

// The id of the process that started this one, 0 when it is not known.
DWORD ParentProcessId()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD parent = 0;
    PROCESSENTRY32W entry = { sizeof(entry) };
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok && !parent; ok = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parent;
}

} // namespace

bool CProcessWatcher::Start(const std::wstring& sensorPath, DWORD pollMs)
{
    if (m_thread.joinable())
        return false;
    m_sensorPath = sensorPath;
    m_pollMs = pollMs;
    m_stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return false;
    m_seen.clear();
    m_retries.clear();
    // The watcher thread: owns m_seen and m_retries, shares the counters
    // (atomics) and the stop event; ends when Stop sets the event.
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CProcessWatcher::Stop()
{
    if (!m_thread.joinable())
        return;
    SetEvent(m_stop.Get());
    m_thread.join();
    m_stop.Close();
}

CProcessWatcher::Counts CProcessWatcher::GetCounts() const
{
    Counts c;
    c.delivered = m_delivered.load();
    c.lastDelayMs = m_lastDelayMs.load();
    c.maxDelayMs = m_maxDelayMs.load();
    return c;
}

void CProcessWatcher::Run()
{
    // The program that started the guard (the setup program, the updater, a
    // script) is left alone: it installs and configures the guard and must
    // not be held back by the guard it started.
    if (DWORD parent = ParentProcessId())
        m_seen.insert(parent);
    Scan(true);
    while (WaitForSingleObject(m_stop.Get(), m_pollMs) == WAIT_TIMEOUT)
        Scan(false);
}

void CProcessWatcher::Scan(bool first)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    std::set<DWORD> running;
    PROCESSENTRY32W entry = { sizeof(entry) };
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        DWORD pid = entry.th32ProcessID;
        running.insert(pid);
        if (m_seen.count(pid))
            continue;
        // Stop is never held up by more than the one delivery under way.
        if (WaitForSingleObject(m_stop.Get(), 0) == WAIT_OBJECT_0)
            break;
        SensorDelivery result = DeliverSensor(pid, entry.szExeFile, m_sensorPath, kDeliveryWaitMs, m_stop.Get());
        if (result == SensorDelivery::Refused && ++m_retries[pid] < kMaxTries)
            continue; // too early in its start (or ending): the next scan tries again
        m_retries.erase(pid);
        m_seen.insert(pid);
        if (result != SensorDelivery::Delivered)
            continue;
        ++m_delivered;
        ULONGLONG created = first ? 0 : CreationTime(pid);
        if (created) {
            ULONGLONG now = Now();
            uint32_t delay = now > created ? static_cast<uint32_t>((now - created) / 10000) : 0;
            m_lastDelayMs = delay;
            if (delay > m_maxDelayMs)
                m_maxDelayMs = delay;
        }
    }
    CloseHandle(snapshot);
    // An id that left the list may come back as a new process.
    for (auto it = m_seen.begin(); it != m_seen.end();)
        it = running.count(*it) ? std::next(it) : m_seen.erase(it);
}
