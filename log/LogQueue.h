// The in-memory activity log: the most recent log records, each known by its
// sequence number. The request thread appends; the main thread's readers (the
// log page and the monitoring balloon) pin a record by its number while they
// read it, and a pinned record is never dropped.
#pragma once

#include "rules/ParamList.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#define LOG_PROCESS_NAME_CHARS 32 // 31 characters and the NUL

// What a reader sees of one record. Immutable once queued, so a pinned record
// is read without any lock.
struct LOG_RECORD {
    uint32_t processId;
    wchar_t processName[LOG_PROCESS_NAME_CHARS]; // UTF-16, NUL-terminated
    uint16_t verdict;                            // 0 Accept, 1 Feign, 2 Reject
    uint16_t logged;                             // 1 for every record made by the request handling
    SYSTEMTIME time;                             // local time of the decision
    const wchar_t* ruleText;                     // the rule's description, never null
    const PARAM_LIST* params;                    // copy of the request's list, null when it had none
};

class CLogQueue {
public:
    static const int32_t kCapacity = 128;

    CLogQueue() = default;
    ~CLogQueue() { Close(); }
    CLogQueue(const CLogQueue&) = delete;
    CLogQueue& operator=(const CLogQueue&) = delete;

    // Makes the queue accept records.
    void Init();
    // Drops every record, pinned or not, and refuses records until the next
    // Init. Sequence numbers go on where they stopped.
    void Close();

    // Queues a copy of the values, time-stamped with the current local time;
    // the process name is cut to 31 characters, a null text counts as empty.
    // Then drops unpinned records from the oldest end while more than
    // kCapacity are queued. Returns the new record's sequence number; -1
    // when memory runs out or the queue is closed.
    int32_t Add(const wchar_t* processName, uint32_t processId, uint16_t verdict, uint16_t logged,
                const wchar_t* ruleText, const PARAM_LIST* params);

    // The record with this number, pinned; null when it is not queued. Every
    // Lock is followed by Unlock with the same number, also after a null.
    LOG_RECORD* Lock(int32_t sequence);
    // Unpins the record when it is queued.
    void Unlock(int32_t sequence);

    // Records dropped so far, which is also the oldest queued number.
    int32_t DroppedCount() const { return m_dropped.load(); }
    // The number the next record will get.
    int32_t NextSequence() const { return m_next.load(); }

private:
    struct LOG_NODE;

    LOG_NODE* Find(int32_t sequence) const;
    void TrimLocked();
    static void FreeNode(LOG_NODE* node);

    mutable std::recursive_mutex m_lock; // the list, the counters, the pin counts
    LOG_NODE* m_head = nullptr;
    LOG_NODE* m_tail = nullptr;
    std::atomic<int32_t> m_dropped{0};
    std::atomic<int32_t> m_next{0};
    bool m_open = false;
};
