// The prompt's answers that hold for a while: the guard keeps them in memory
// for one program (its image path), one operation kind and one set of
// parameter texts, and answers the same request with them without asking
// again. Nothing is stored on disk: they end with the guard, and the guard
// forgets them all when the rules are saved or monitoring is switched off.
//
// Beside them it keeps the answers that prompts shared: the driver hands the
// program one request at a time and queues the others, so requests made
// while a prompt was open reach the program only after it closed, back to
// back. The answer the user gave is shared with the identical ones among
// them, whatever its duration, until the request thread finds the driver's
// queue empty (EndSharing).
//
// Used by the request thread (recall, remember, share) and the main thread
// (forget), so every call takes the object's lock.
#pragma once

#include "watch/AskAnswer.h"

#include <stdint.h>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

// How long TenMinutes holds.
#define ANSWER_TEN_MINUTES_MS (10u * 60u * 1000u)

// What a remembered answer is matched by; texts compare exactly.
struct RememberedRequest {
    std::wstring processPath;
    uint32_t kind = 0;
    std::wstring param1;
    std::wstring param2;

    bool operator<(const RememberedRequest& other) const
    {
        return std::tie(processPath, kind, param1, param2) <
               std::tie(other.processPath, other.kind, other.param1, other.param2);
    }
};

class CAnswerMemory {
public:
    // `clock`: milliseconds since the system started; TickCount64 when null.
    explicit CAnswerMemory(std::function<uint64_t()> clock = nullptr);
    // Substitutes the clock (before the memory is in use).
    void SetClock(std::function<uint64_t()> clock) { m_clock = std::move(clock); }

    // Keeps `answer` (ASK_ALLOW or ASK_REFUSE) for `request` when `duration`
    // lasts beyond this request; other answers and durations keep nothing.
    // A request without a program path is never kept: any program could be
    // it. A later answer for the same request replaces the earlier one.
    void Remember(const RememberedRequest& request, int answer, AnswerDuration duration);

    // The answer kept for `request` and still holding, or ASK_WITHDRAWN when
    // there is none (an answer whose time is over is dropped here).
    int Recall(const RememberedRequest& request);

    // Shares the answer a prompt gave for `request` (ASK_ALLOW or
    // ASK_REFUSE) with the identical requests that waited meanwhile.
    void Share(const RememberedRequest& request, int answer);
    // The answer shared for `request`, or ASK_WITHDRAWN.
    int RecallShared(const RememberedRequest& request) const;
    // The requests that waited while the prompts were open have all been
    // answered: shared answers end.
    void EndSharing();

    // Drops every kept and shared answer.
    void Forget();

    // Number of kept answers, those whose time is over included.
    size_t Count() const;

private:
    struct Kept {
        int answer;
        uint64_t until; // 0: until forgotten
    };
    uint64_t Now() const;

    std::function<uint64_t()> m_clock;
    mutable std::mutex m_lock;
    std::map<RememberedRequest, Kept> m_kept;
    std::map<RememberedRequest, int> m_shared;
};
