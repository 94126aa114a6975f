#include "log/LogQueue.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

// One heap block per record: the queue's own fields, the reader's view, then
// the byte copy of the parameter list.
struct CLogQueue::LOG_NODE {
    LOG_NODE* next;
    int32_t sequence;
    uint32_t pinCount;
    LOG_RECORD record;
};

void CLogQueue::Init()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_open = true;
}

void CLogQueue::Close()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    while (m_head) {
        LOG_NODE* node = m_head;
        m_head = node->next;
        FreeNode(node);
    }
    m_tail = nullptr;
    m_dropped.store(m_next.load());
    m_open = false;
}

void CLogQueue::FreeNode(LOG_NODE* node)
{
    std::free(const_cast<wchar_t*>(node->record.ruleText));
    std::free(node);
}

int32_t CLogQueue::Add(const wchar_t* processName, uint32_t processId, uint16_t verdict, uint16_t logged,
                       const wchar_t* ruleText, const PARAM_LIST* params)
{
    // A list too short to hold its own header is not copied.
    if (params && params->size < sizeof(PARAM_LIST))
        params = nullptr;
    size_t paramBytes = params ? params->size : 0;
    LOG_NODE* node = static_cast<LOG_NODE*>(std::malloc(sizeof(LOG_NODE) + paramBytes));
    if (!node)
        return -1;
    const wchar_t* text = ruleText ? ruleText : L"";
    size_t textBytes = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t* textCopy = static_cast<wchar_t*>(std::malloc(textBytes));
    if (!textCopy) {
        std::free(node);
        return -1;
    }
    std::memcpy(textCopy, text, textBytes);

    node->next = nullptr;
    node->sequence = -1;
    node->pinCount = 0;
    LOG_RECORD& record = node->record;
    record.processId = processId;
    lstrcpynW(record.processName, processName ? processName : L"", LOG_PROCESS_NAME_CHARS);
    record.verdict = verdict;
    record.logged = logged;
    GetLocalTime(&record.time);
    record.ruleText = textCopy;
    if (params) {
        uint8_t* copy = reinterpret_cast<uint8_t*>(node) + sizeof(LOG_NODE);
        std::memcpy(copy, params, paramBytes);
        record.params = reinterpret_cast<const PARAM_LIST*>(copy);
    } else {
        record.params = nullptr;
    }

    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_open) {
        FreeNode(node);
        return -1;
    }
    node->sequence = m_next.load();
    m_next.store(node->sequence + 1);
    if (m_tail)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    TrimLocked();
    return node->sequence;
}

void CLogQueue::TrimLocked()
{
    while (m_next.load() - m_dropped.load() > kCapacity && m_head && m_head->pinCount == 0) {
        LOG_NODE* node = m_head;
        m_head = node->next;
        if (!m_head)
            m_tail = nullptr;
        m_dropped.store(m_dropped.load() + 1);
        FreeNode(node);
    }
}

CLogQueue::LOG_NODE* CLogQueue::Find(int32_t sequence) const
{
    if (sequence < m_dropped.load() || sequence >= m_next.load())
        return nullptr;
    LOG_NODE* node = m_head;
    while (node && node->sequence != sequence)
        node = node->next;
    return node;
}

LOG_RECORD* CLogQueue::Lock(int32_t sequence)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    LOG_NODE* node = Find(sequence);
    if (!node)
        return nullptr;
    ++node->pinCount;
    return &node->record;
}

void CLogQueue::Unlock(int32_t sequence)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    LOG_NODE* node = Find(sequence);
    if (node && node->pinCount > 0)
        --node->pinCount;
}
