// The sensor watcher: while monitoring runs, it loads the sensor into every
// process of this session (the excluded ones aside), first all that run when
// it starts, then each new one it sees in the process list. Programs started
// by a guarded process get the sensor from their parent before they run;
// the watcher is the safety net for the others (started from outside any
// guarded process), which can run a little unguarded before it sees them.
#pragma once

#include "base/Handles.h"
#include "watch/SensorDelivery.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>

class CProcessWatcher {
public:
    // What the watcher has done so far (read by tests and benchmarks).
    struct Counts {
        uint32_t delivered = 0;     // processes the sensor was loaded into
        uint32_t lastDelayMs = 0;   // from the latest one's creation to its delivery
        uint32_t maxDelayMs = 0;    // the longest such delay of this run
    };

    CProcessWatcher() = default;
    ~CProcessWatcher() { Stop(); }
    CProcessWatcher(const CProcessWatcher&) = delete;
    CProcessWatcher& operator=(const CProcessWatcher&) = delete;

    // Starts the watcher thread for the sensor at `sensorPath`; scans every
    // `pollMs`. False when it runs already or the thread cannot start.
    bool Start(const std::wstring& sensorPath, DWORD pollMs = kDefaultPollMs);
    // Sets the stop event and joins the thread (a delivery in progress stops
    // waiting for its remote thread at once).
    void Stop();
    bool Running() const { return m_thread.joinable(); }
    Counts GetCounts() const;

    static const DWORD kDefaultPollMs = 20;

private:
    void Run();
    void Scan(bool first);
    // Marks a process handled, and forgets those that have ended.
    void MarkSeen(DWORD pid);
    void ForgetEnded();
    // Looks at the loads that had not finished, without waiting.
    void FinishLoads(const std::set<DWORD>& running);
    // Counts one process handled: delivered or given up.
    void Handled(DWORD pid, SensorDelivery result, bool first);

    std::wstring m_sensorPath;
    DWORD m_pollMs = kDefaultPollMs;
    ui::CHandle m_stop;
    std::thread m_thread;
    // Processes already handled, by id, each with a handle that tells when it
    // has ended (the system does not give its id to a new process while the
    // handle is open); an ended one, or an id that leaves the process list, is
    // forgotten. The watcher thread's alone.
    std::map<DWORD, ui::CHandle> m_seen;
    std::map<DWORD, int> m_retries;
    // Loads whose remote thread had not finished when their wait ended: each
    // scan looks at them again instead of starting another thread, so a
    // process that is slow to take the thread costs one wait, not one a scan.
    std::map<DWORD, SensorLoad> m_unfinished;
    std::atomic<uint32_t> m_delivered{ 0 };
    std::atomic<uint32_t> m_lastDelayMs{ 0 };
    std::atomic<uint32_t> m_maxDelayMs{ 0 };
};
