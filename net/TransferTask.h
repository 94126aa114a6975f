// CTransferTask: one background transfer at a time (an update run, a feed
// download) on a CJobWorker, with the cooperative cancel the transfers watch
// (DownloadJob::cancel: libcurl's progress callback looks at it about once a
// second), and a wait with a time-out for the owner. The owner's destructor
// cancels and waits; the job works on its owner, which outlives it.
#pragma once

#include "base/JobWorker.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class CTransferTask {
public:
    CTransferTask() = default;
    ~CTransferTask();
    CTransferTask(const CTransferTask&) = delete;
    CTransferTask& operator=(const CTransferTask&) = delete;

    // Runs `job` on the worker with a cleared cancel flag. False while a job
    // is still at work (also a cancelled one that is still ending).
    bool Start(std::function<void()> job);
    // Asks the job to stop; returns at once.
    void Cancel() { m_cancel = true; }
    bool Cancelled() const { return m_cancel.load(); }
    // The flag for DownloadJob::cancel.
    const std::atomic<bool>* CancelFlag() const { return &m_cancel; }
    // Waits for the job; true when none is at work afterwards.
    bool Wait(DWORD timeoutMs);
    // A job is queued or at work.
    bool IsAlive() const;
    // Waits for the job to return and ends the worker's thread, so that no
    // idle thread stays behind a download that is done; the next Start makes
    // a new one. For the owner's thread, after the job has told its end.
    void EndWorker();

private:
    std::atomic<bool> m_cancel{ false };
    mutable std::mutex m_lock; // guards m_active
    std::condition_variable m_ended;
    bool m_active = false;
    std::unique_ptr<CJobWorker> m_worker; // last: its thread ends before the rest goes
};
