#include "watch/AnswerMemory.h"

#include "base/LateBound.h"

CAnswerMemory::CAnswerMemory(std::function<uint64_t()> clock) : m_clock(std::move(clock)) {}

uint64_t CAnswerMemory::Now() const
{
    return m_clock ? m_clock() : TickCount64();
}

void CAnswerMemory::Remember(const RememberedRequest& request, int answer, AnswerDuration duration)
{
    if ((answer != ASK_ALLOW && answer != ASK_REFUSE) || request.processPath.empty())
        return;
    uint64_t until;
    switch (duration) {
    case AnswerDuration::TenMinutes:
        until = Now() + ANSWER_TEN_MINUTES_MS;
        break;
    case AnswerDuration::UntilExit:
        until = 0;
        break;
    default:
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_kept[request] = Kept{ answer, until };
}

int CAnswerMemory::Recall(const RememberedRequest& request)
{
    if (request.processPath.empty())
        return ASK_WITHDRAWN;
    const uint64_t now = Now();
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_kept.find(request);
    if (it == m_kept.end())
        return ASK_WITHDRAWN;
    if (it->second.until != 0 && now >= it->second.until) {
        m_kept.erase(it);
        return ASK_WITHDRAWN;
    }
    return it->second.answer;
}

void CAnswerMemory::Share(const RememberedRequest& request, int answer)
{
    if ((answer != ASK_ALLOW && answer != ASK_REFUSE) || request.processPath.empty())
        return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_shared[request] = answer;
}

int CAnswerMemory::RecallShared(const RememberedRequest& request) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_shared.find(request);
    return it == m_shared.end() ? ASK_WITHDRAWN : it->second;
}

void CAnswerMemory::EndSharing()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_shared.clear();
}

void CAnswerMemory::Forget()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_kept.clear();
    m_shared.clear();
}

size_t CAnswerMemory::Count() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_kept.size();
}
