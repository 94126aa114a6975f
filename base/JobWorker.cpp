#include "base/JobWorker.h"

#include <windows.h>
#include <objbase.h>

void CJobWorker::Post(Job job)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_stopped)
        return;
    m_jobs.push_back(std::move(job));
    if (!m_thread.joinable())
        m_thread = std::thread(&CJobWorker::Run, this);
    m_wake.notify_one();
}

void CJobWorker::DropQueued()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_jobs.clear();
}

bool CJobWorker::Busy() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_running || !m_jobs.empty();
}

void CJobWorker::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopped = true;
        m_jobs.clear();
        m_stop = true;
        m_wake.notify_one();
    }
    if (m_thread.joinable())
        m_thread.join();
}

// The worker thread: owns nothing but the job it runs; ends when Stop sets
// the flag. The shell calls of some jobs (icons) want COM on the thread.
void CJobWorker::Run()
{
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_running = true;
        }
        job(m_stop);
        std::lock_guard<std::mutex> lock(m_lock);
        m_running = false;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}
