// The answers of the permission prompt, which the request handling turns into
// verdicts, and how long an answer holds.
#pragma once

#include <stdint.h>

// Results of the prompt.
#define ASK_ALLOW 1
#define ASK_REFUSE 2
// The prompt was withdrawn without an answer (the driver link stopped).
#define ASK_WITHDRAWN 0

// The answer the prompt gives when nobody answers: ASK_ALLOW for an Accept
// action, ASK_REFUSE for Feign, Reject and anything else.
int AskDefaultAnswer(uint16_t action);

// How long an answer of the prompt holds, in the order of its list.
enum class AnswerDuration {
    Once,       // this request only (also every answer of a timed-out prompt)
    TenMinutes, // ten minutes from the answer
    UntilExit,  // until the guard ends or forgets
    Always,     // a rule is written; nothing is kept in memory
};
#define ANSWER_DURATION_COUNT 4

// What one prompt answered. `chosen` is true when the user gave the answer
// (a button or its key) and false when the prompt gave it by itself (its
// countdown ran out, the edit-rule link, a withdrawal): an answer nobody
// chose holds for its own request only.
struct PromptAnswer {
    int answer = ASK_WITHDRAWN;
    AnswerDuration duration = AnswerDuration::Once;
    bool chosen = false;

    // A bare result (ASK_ALLOW, ASK_REFUSE, ASK_WITHDRAWN) is an answer for
    // this request only that nobody chose.
    PromptAnswer(int result = ASK_WITHDRAWN) : answer(result) {}
    PromptAnswer(int result, AnswerDuration howLong, bool byUser)
        : answer(result), duration(howLong), chosen(byUser)
    {
    }
};

// The verdict for an answer: WATCH_VERDICT_ACCEPT for ASK_ALLOW,
// WATCH_VERDICT_REJECT for ASK_REFUSE, `preset` for anything else.
uint16_t AskVerdict(int answer, uint16_t preset);
