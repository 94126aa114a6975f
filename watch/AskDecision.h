// The decision of a request whose rule asks: an answer the guard remembers
// or that a prompt shared answers it at once; otherwise the prompt asks the
// user, and a lasting answer is kept (or, for "总是", written as a rule).
#pragma once

#include "rules/RuleModel.h"
#include "watch/AnswerMemory.h"

#include <windows.h>

#include <stdint.h>
#include <functional>

class CWatchMain;
struct WatchRequest;

// Who gave a verdict, as the log line says it.
enum class AnsweredBy {
    Rule,     // the rule's action
    Prompt,   // the user or the prompt's countdown
    Memory,   // a remembered answer, or the answer of the prompt the request waited behind
};

struct AskDecision {
    enum Result {
        Decided,   // `verdict` holds
        LinkBusy,  // the link mutex could not be had: nobody was asked
        Cancelled, // the link was stopped while waiting for it
    } result = Decided;
    uint16_t verdict = 0;
    AnsweredBy by = AnsweredBy::Prompt;
};

// The key of a request among kept answers: the requesting program's image
// path, the kind and the parameter texts (the second for RegSetValue only).
RememberedRequest AnswerKey(CWatchMain* link, const WatchRequest& request);

// Decides a request of an asking rule; `preset` is the driver's verdict,
// which stands when the prompt gives no answer. Takes the link mutex only
// to show the prompt.
AskDecision DecideByAsking(CWatchMain* link, const WatchRequest& request, const PARAM_LIST* params,
                           const Rule* rule, HWND mainWindow, const std::function<bool()>& cancelled,
                           uint16_t preset);
