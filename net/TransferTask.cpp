#include "net/TransferTask.h"

#include <chrono>

CTransferTask::~CTransferTask()
{
    Cancel();
    if (m_worker)
        m_worker->Stop();
}

void CTransferTask::EndWorker()
{
    Wait(INFINITE);
    m_worker.reset();
}

bool CTransferTask::Start(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_active)
            return false;
        m_active = true;
        m_cancel = false;
    }
    if (!m_worker)
        m_worker = std::make_unique<CJobWorker>();
    m_worker->Post([this, job = std::move(job)](const std::atomic<bool>&) {
        job();
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_active = false;
        }
        m_ended.notify_all();
    });
    return true;
}

bool CTransferTask::Wait(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (timeoutMs == INFINITE) {
        m_ended.wait(guard, [this] { return !m_active; });
        return true;
    }
    return m_ended.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !m_active; });
}

bool CTransferTask::IsAlive() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_active;
}
