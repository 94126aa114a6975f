#include "watch/ProcessWatcher.h"

#include <tlhelp32.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

// A process that refuses the thread this many scans running is given up.
// About ten seconds of scans: on a loaded machine a starting process can
// refuse for longer than one second, and giving it up leaves it unguarded.
const int kMaxTries = 500;
// How long one delivery waits for its remote thread (a load takes a few
// milliseconds); a process that cannot run it yet keeps its thread, and the
// later scans look at it without waiting.
const DWORD kDeliveryWaitMs = 250;

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

// How long process `pid` has run, in milliseconds; a process whose times
// cannot be read counts as old enough (the delivery then decides).
const DWORD kMinAgeMs = 100;

DWORD Age(DWORD pid)
{
    ULONGLONG created = CreationTime(pid), now = Now();
    if (!created || now <= created)
        return created ? 0 : kMinAgeMs;
    return static_cast<DWORD>(std::min<ULONGLONG>((now - created) / 10000, MAXDWORD));
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
    m_unfinished.clear();
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
        MarkSeen(parent);
    Scan(true);
    while (WaitForSingleObject(m_stop.Get(), m_pollMs) == WAIT_TIMEOUT)
        Scan(false);
}

void CProcessWatcher::Scan(bool first)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    ForgetEnded();
    std::set<DWORD> running;
    std::vector<PROCESSENTRY32W> fresh;
    PROCESSENTRY32W entry = { sizeof(entry) };
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        running.insert(entry.th32ProcessID);
        if (!m_seen.count(entry.th32ProcessID) && !m_unfinished.count(entry.th32ProcessID))
            fresh.push_back(entry);
    }
    CloseHandle(snapshot);
    FinishLoads(running);
    for (const PROCESSENTRY32W& process : fresh) {
        // Stop is never held up by more than the one delivery under way.
        if (WaitForSingleObject(m_stop.Get(), 0) == WAIT_OBJECT_0)
            break;
        const DWORD pid = process.th32ProcessID;
        // A program started by a guarded one gets the sensor from its parent
        // before it runs; one still starting is left to finish its start-up
        // (a thread put into it meanwhile can break it under Wine).
        if (!first && HasSensorMark(process.th32ParentProcessID)) {
            Handled(pid, SensorDelivery::AlreadyGuarded, first);
            continue;
        }
        if (!first && Age(pid) < kMinAgeMs)
            continue;
        SensorLoad load;
        SensorDelivery result =
            DeliverSensor(pid, process.szExeFile, m_sensorPath, kDeliveryWaitMs, m_stop.Get(), &load);
        if (result == SensorDelivery::Unfinished)
            m_unfinished.emplace(pid, std::move(load));
        else
            Handled(pid, result, first);
    }
    // An id that left the list may come back as a new process.
    for (auto it = m_seen.begin(); it != m_seen.end();)
        it = running.count(it->first) ? std::next(it) : m_seen.erase(it);
    for (auto it = m_retries.begin(); it != m_retries.end();)
        it = running.count(it->first) ? std::next(it) : m_retries.erase(it);
}

void CProcessWatcher::MarkSeen(DWORD pid)
{
    m_seen[pid] = ui::CHandle(OpenProcess(SYNCHRONIZE, FALSE, pid));
}

void CProcessWatcher::ForgetEnded()
{
    // Ids come back quickly (a program started right after another one ended
    // often gets its id): without this, such a program would pass for the
    // one handled before and never get the sensor. One wait per 64 processes
    // answers whether any has ended; only then is each asked.
    std::vector<HANDLE> handles;
    std::vector<DWORD> ids;
    for (const auto& seen : m_seen) {
        if (seen.second) {
            handles.push_back(seen.second.Get());
            ids.push_back(seen.first);
        }
    }
    for (size_t base = 0; base < handles.size(); base += MAXIMUM_WAIT_OBJECTS) {
        DWORD count = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - base));
        DWORD any = WaitForMultipleObjects(count, &handles[base], FALSE, 0);
        if (any >= WAIT_OBJECT_0 + count)
            continue;
        for (size_t i = base; i < base + count; ++i)
            if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0)
                m_seen.erase(ids[i]);
    }
}

void CProcessWatcher::FinishLoads(const std::set<DWORD>& running)
{
    for (auto it = m_unfinished.begin(); it != m_unfinished.end();) {
        SensorDelivery result = running.count(it->first) ? FinishSensorLoad(&it->second) : SensorDelivery::Refused;
        if (result == SensorDelivery::Unfinished) {
            ++it;
            continue;
        }
        DWORD pid = it->first;
        it = m_unfinished.erase(it);
        Handled(pid, result, false);
    }
}

void CProcessWatcher::Handled(DWORD pid, SensorDelivery result, bool first)
{
    if (result == SensorDelivery::Refused && ++m_retries[pid] < kMaxTries)
        return; // too early in its start (or ending): the next scan tries again
    m_retries.erase(pid);
    MarkSeen(pid);
    if (result != SensorDelivery::Delivered)
        return;
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
