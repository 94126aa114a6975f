#include "watch/RequestHandling.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "base/TextConv.h"
#include "log/ActivityLog.h"
#include "res/resource.h"
#include "rules/ParamList.h"
#include "watch/AskAnswer.h"
#include "watch/AskDecision.h"
#include "watch/WatchMain.h"

#include <cstring>
#include <memory>

namespace {

// How long a counted decision may stay unsaved.
const DWORD kCountSaveDelayMs = 1000;
// The driver hands its queued requests over one right after the other (a
// millisecond or two under Wine, where a program that makes a new request
// after its answer takes a hundred and more); a request that comes later
// than this after the last answer found the queue empty, so it was made
// after every prompt before it had closed.
const DWORD kQueueHandOverMs = 50;

std::wstring BoundedText(const uint16_t* field, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && field[n] != 0)
        ++n;
    return std::wstring(reinterpret_cast<const wchar_t*>(field), n);
}

PARAM_LIST* RequestParams(const WatchRequest& request)
{
    switch (request.kind) {
    case OperationKind::OpenFile:
    case OperationKind::Execute:
        return BuildParamList(request.kind, "s", request.param1.c_str());
    case OperationKind::SetRegistryValue:
        return BuildParamList(request.kind, "ss", request.param1.c_str(), request.param2.c_str());
    default:
        return nullptr;
    }
}

// What the log line says after the verdict word about who answered.
std::wstring AnsweredByText(AnsweredBy by)
{
    switch (by) {
    case AnsweredBy::Prompt:
        return ui::LoadStr(IDS_LOG_BY_PROMPT);
    case AnsweredBy::Memory:
        return ui::LoadStr(IDS_LOG_BY_MEMORY);
    default:
        return std::wstring();
    }
}

// Writes the verdict unless the link was stopped meanwhile; true when written.
bool CommitVerdict(WATCH_SHARED_RECORD* record, RequestThreadState* thread, uint16_t verdict)
{
    if (!thread) {
        record->verdict = verdict;
        return true;
    }
    std::lock_guard<std::mutex> guard(thread->recordLock);
    if (thread->cancelled)
        return false;
    record->verdict = verdict;
    return true;
}

} // namespace

WatchRequest ReadRequest(const WATCH_SHARED_RECORD* record)
{
    WatchRequest r;
    r.param1 = BoundedText(record->param1, WATCH_PARAM1_CHARS);
    r.param2 = BoundedText(record->param2, WATCH_PARAM2_CHARS);
    r.kind = record->kind;
    char name[WATCH_PROCESS_CHARS + 1] = {};
    memcpy(name, record->processName, WATCH_PROCESS_CHARS);
    r.processName = AnsiToWide(name, static_cast<int>(strnlen(name, WATCH_PROCESS_CHARS)));
    r.processId = record->processId;
    r.ruleId = record->ruleId;
    return r;
}

RequestOutcome HandleRequest(CWatchMain* link, WATCH_SHARED_RECORD* record, RequestThreadState* thread)
{
    if (record->processId == GetCurrentProcessId()) {
        CommitVerdict(record, thread, WATCH_VERDICT_ACCEPT);
        return RequestOutcome::OwnProcess;
    }
    WatchRequest request = ReadRequest(record);
    std::unique_ptr<PARAM_LIST, void (*)(PARAM_LIST*)> params(RequestParams(request), FreeParamList);

    // Holding the set keeps the rule alive for the whole decision, also when
    // a reload replaces the link's set meanwhile.
    std::shared_ptr<RuleSet> rules = link->RulesHolding(request.ruleId);
    Rule* rule = rules ? FindRuleById(rules.get(), request.ruleId) : nullptr;
    if (!rule)
        return RequestOutcome::NoRule;

    CConfig* config = link->Config();
    HWND mainWindow = link->MainWindow();
    auto cancelled = [thread] {
        if (!thread)
            return false;
        std::lock_guard<std::mutex> guard(thread->recordLock);
        return thread->cancelled;
    };
    uint16_t verdict = record->verdict;
    AnsweredBy answeredBy = AnsweredBy::Rule;
    if (rule->flags & RuleFlag::Ask) {
        // A decision by the rule's action needs no link mutex (the set stays
        // alive through `rules`, the log has its own locks); asking does.
        const AskDecision asked =
            DecideByAsking(link, request, params.get(), rule, mainWindow, cancelled, verdict);
        if (asked.result == AskDecision::LinkBusy)
            return RequestOutcome::LinkBusy;
        if (asked.result == AskDecision::Cancelled)
            return RequestOutcome::Cancelled;
        verdict = asked.verdict;
        answeredBy = asked.by;
    } else {
        verdict = rule->action;
    }
    if (!CommitVerdict(record, thread, verdict))
        return RequestOutcome::Cancelled;

    if (rule->log == RuleLog::Log) {
        int32_t sequence = AddLogRecord(request.processName.c_str(), request.processId, verdict, 1,
                                        rule->info.c_str(), params.get(), AnsweredByText(answeredBy).c_str());
        if (sequence >= 0 && mainWindow) {
            if (config && config->ShowInfo == 1 && link->TakeBalloonTurn(GetTickCount()))
                PostMessageW(mainWindow, WM_WATCH_LOG, WATCH_LOG_BALLOON, sequence);
            PostMessageW(mainWindow, WM_WATCH_LOG, WATCH_LOG_ROW, sequence);
        }
    }
    link->Hits().Record(rule);
    if (config) {
        config->BlockCount++;
        if (!thread)
            config->SaveBlockCount();
        else if (!thread->countUnsaved) {
            thread->countUnsaved = true;
            thread->countDue = GetTickCount() + kCountSaveDelayMs;
        }
    }
    if (thread)
        thread->countToPost = true;
    else if (mainWindow)
        PostMessageW(mainWindow, WM_WATCH_COUNT, 0, 0);
    return RequestOutcome::Decided;
}

namespace {

// The request thread's only windows are its prompts.
BOOL CALLBACK WithdrawPrompt(HWND hwnd, LPARAM)
{
    PostMessageW(hwnd, WM_ASK_WITHDRAW, 0, 0);
    return TRUE;
}

} // namespace

void CancelRequestThread(RequestThreadState* state)
{
    {
        std::lock_guard<std::mutex> guard(state->recordLock);
        state->cancelled = true;
    }
    SetEvent(state->stopEvent.Get());
    // After the flag: a prompt created from here on sees it itself.
    WithdrawRequestPrompt(state);
}

void WithdrawRequestPrompt(const RequestThreadState* state)
{
    if (state->threadId)
        EnumThreadWindows(state->threadId, WithdrawPrompt, 0);
}

namespace {
std::atomic<int> g_runningThreads{ 0 };

// How long the request thread may wait for a request before the unsaved
// count is due.
DWORD UntilCountDue(const RequestThreadState& state)
{
    if (!state.countUnsaved)
        return INFINITE;
    int32_t left = static_cast<int32_t>(state.countDue - GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

void PostCount(RequestThreadState* state)
{
    if (!state->countToPost)
        return;
    state->countToPost = false;
    if (HWND mainWindow = state->link->MainWindow())
        PostMessageW(mainWindow, WM_WATCH_COUNT, 0, 0);
}

void SaveCount(RequestThreadState* state, bool evenIfNotDue)
{
    if (!state->countUnsaved || (!evenIfNotDue && UntilCountDue(*state) != 0))
        return;
    if (CConfig* config = state->link->Config())
        config->SaveBlockCount();
    state->link->Hits().Save();
    state->countUnsaved = false;
}
} // namespace

int RequestThreadsRunning()
{
    return g_runningThreads.load();
}

DWORD WINAPI RequestThreadProc(LPVOID param)
{
    std::unique_ptr<std::shared_ptr<RequestThreadState>> holder(static_cast<std::shared_ptr<RequestThreadState>*>(param));
    std::shared_ptr<RequestThreadState> state = *holder;
    holder.reset();
    ++g_runningThreads;
    DWORD answeredAt = GetTickCount();
    for (;;) {
        HANDLE waits[2] = { state->stopEvent.Get(), state->requestEvent.Get() };
        DWORD wait = WaitForMultipleObjects(2, waits, FALSE, UntilCountDue(*state));
        if (wait == WAIT_TIMEOUT) {
            SaveCount(state.get(), true);
            continue;
        }
        if (wait != WAIT_OBJECT_0 + 1)
            break;
        {
            std::lock_guard<std::mutex> guard(state->recordLock);
            if (state->cancelled)
                break;
        }
        // The requests that waited while a prompt was open have been
        // answered: what that prompt shared ends.
        if (GetTickCount() - answeredAt > kQueueHandOverMs)
            state->link->Answers().EndSharing();
        HandleRequest(state->link, state->record, state.get());
        {
            std::lock_guard<std::mutex> guard(state->recordLock);
            if (state->cancelled)
                break;
            ResetEvent(state->requestEvent.Get());
            SetEvent(state->doneEvent.Get());
        }
        PostCount(state.get());
        // Under a steady stream of requests the wait never times out.
        SaveCount(state.get(), false);
        answeredAt = GetTickCount();
    }
    PostCount(state.get());
    SaveCount(state.get(), true);
    --g_runningThreads;
    return 0;
}
