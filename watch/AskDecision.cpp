#include "watch/AskDecision.h"

#include "watch/RequestHandling.h"
#include "watch/WatchMain.h"

RememberedRequest AnswerKey(CWatchMain* link, const WatchRequest& request)
{
    RememberedRequest key;
    key.processPath = link->ProcessPath(request.processId);
    key.kind = request.kind;
    key.param1 = request.param1;
    if (request.kind == OperationKind::SetRegistryValue)
        key.param2 = request.param2;
    return key;
}

AskDecision DecideByAsking(CWatchMain* link, const WatchRequest& request, const PARAM_LIST* params,
                           const Rule* rule, HWND mainWindow, const std::function<bool()>& cancelled,
                           uint16_t preset)
{
    AskDecision decision;
    CAnswerMemory& answers = link->Answers();
    const RememberedRequest key = AnswerKey(link, request);
    int kept = answers.Recall(key);
    if (kept == ASK_WITHDRAWN)
        kept = answers.RecallShared(key);
    if (kept != ASK_WITHDRAWN) {
        decision.verdict = AskVerdict(kept, preset);
        decision.by = AnsweredBy::Memory;
        return decision;
    }

    // The link mutex keeps a rule reload waiting while the prompt is open.
    CLinkLock lock(link->LinkMutex(), link->LinkWait());
    // Without the mutex another prompt is still open: a second one beside it
    // would be answered blind. The driver answers the preset.
    if (link->LinkMutex() && !lock.Owned()) {
        decision.result = AskDecision::LinkBusy;
        return decision;
    }
    // Stopped while waiting for the mutex: ask nobody.
    if (cancelled && cancelled()) {
        decision.result = AskDecision::Cancelled;
        return decision;
    }
    const PromptAnswer answer =
        link->RunPrompt({ request.processId, request.processName, params, rule, mainWindow, cancelled });
    decision.verdict = AskVerdict(answer.answer, preset);
    decision.by = AnsweredBy::Prompt;
    // An answer nobody chose (a countdown that ran out) leaves nothing
    // behind; nor does one for a link stopped meanwhile, whose answers end.
    if (!answer.chosen || (answer.answer != ASK_ALLOW && answer.answer != ASK_REFUSE) || (cancelled && cancelled()))
        return decision;
    if (answer.duration == AnswerDuration::Always) {
        // A rule that cannot be written still holds while the guard runs.
        if (!link->AddRuleFromPrompt(rule, request, answer.answer))
            answers.Remember(key, answer.answer, AnswerDuration::UntilExit);
    } else {
        answers.Remember(key, answer.answer, answer.duration);
    }
    answers.Share(key, answer.answer);
    return decision;
}
