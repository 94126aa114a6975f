#include "watch/WatchMain.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/PathString.h"
#include "base/ProcessPath.h"
#include "base/Strings.h"
#include "base/ThreadWait.h"
#include "res/resource.h"
#include "rules/RuleFile.h"
#include "watch/AskAnswer.h"
#include "watch/DriverService.h"
#include "watch/PromptRule.h"
#include "watch/RequestHandling.h"
#include "watch/SensorDelivery.h"

#include <cstdio>

CLinkLock::CLinkLock(HANDLE mutex, DWORD timeoutMs) : m_mutex(mutex)
{
    if (!m_mutex)
        return;
    DWORD wait = WaitForSingleObject(m_mutex, timeoutMs);
    m_owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

CLinkLock::~CLinkLock()
{
    if (m_owned)
        ReleaseMutex(m_mutex);
}

CWatchMain::CWatchMain() : m_lastNotify(GetTickCount()) {}

CWatchMain::~CWatchMain()
{
    Stop();
    WaitForEndingThreads();
    std::lock_guard<std::mutex> guard(m_rulesGuard);
    m_rules.reset();
    m_previousRules.reset();
    ClearGroups(&m_groups);
}

void CWatchMain::SetLinkMutex(HANDLE mutex)
{
    if (m_linkMutex.Get() != mutex)
        m_linkMutex.Reset(mutex);
}

std::wstring CWatchMain::ProgramFolder() const
{
    return CPathString::ProgramFolder(m_programFolder);
}

std::wstring RuleFilePath(const std::wstring& programFolder)
{
    return programFolder + HM_RULE_FILE;
}

std::wstring CWatchMain::RuleFile() const
{
    return RuleFilePath(ProgramFolder());
}

GroupList CWatchMain::Groups() const
{
    std::lock_guard<std::mutex> guard(m_rulesGuard);
    return m_groups;
}

FILE_STAMP CWatchMain::RulesStamp() const
{
    std::lock_guard<std::mutex> guard(m_rulesGuard);
    return m_rulesStamp;
}

std::shared_ptr<RuleSet> CWatchMain::Rules() const
{
    std::lock_guard<std::mutex> guard(m_rulesGuard);
    return m_rules;
}

void CWatchMain::SetRules(RuleSet* set)
{
    std::shared_ptr<RuleSet> next(set, FreeRuleSet);
    if (!set)
        next.reset();
    std::shared_ptr<RuleSet> previous;
    {
        std::lock_guard<std::mutex> guard(m_rulesGuard);
        previous = std::move(m_rules);
        m_rules = std::move(next);
        m_rulesStamp = FILE_STAMP();
    }
    // `previous` is freed here unless a decision still holds it; then the
    // last decision frees it.
}

PromptAnswer CWatchMain::RunPrompt(const PromptInput& input) const
{
    return m_prompt ? m_prompt(input) : PromptAnswer();
}

std::wstring CWatchMain::ProcessPath(uint32_t processId) const
{
    return m_processPath ? m_processPath(processId) : ProcessImagePath(processId);
}

std::shared_ptr<RuleSet> CWatchMain::RulesHolding(uint32_t identity) const
{
    std::lock_guard<std::mutex> guard(m_rulesGuard);
    for (const std::shared_ptr<RuleSet>& set : { m_rules, m_previousRules })
        if (FindRuleById(set.get(), identity))
            return set;
    return nullptr;
}

bool CWatchMain::AddRuleFromPrompt(const Rule* asking, const WatchRequest& request, int answer)
{
    PROMPT_RULE rule;
    rule.kind = request.kind;
    rule.param1 = request.param1;
    rule.param2 = request.param2;
    rule.action = answer == ASK_ALLOW ? RuleAction::Accept : RuleAction::Reject;
    rule.log = asking->log;
    rule.info = asking->info;
    const PromptRuleResult result =
        AddPromptRule(RuleFile(), CopyRuleContent(asking), rule, ui::LoadStr(IDS_PROMPT_RULE_GROUP));
    if (result != PromptRuleResult::Written) {
        printf("AddPromptRule = %d\n", static_cast<int>(result));
        fflush(stdout);
        return false;
    }
    // No STOP as the editor's reload sends: the driver would answer every
    // request it holds its preset, and the identical ones the user has just
    // answered wait among them.
    ReadRules();
    UploadRules();
    if (m_mainWindow)
        PostMessageW(m_mainWindow, WM_WATCH_RULES_WRITTEN, 0, 0);
    return true;
}

bool CWatchMain::TakeBalloonTurn(DWORD now)
{
    DWORD last = m_lastNotify.load();
    do {
        if (now - last <= 300)
            return false;
    } while (!m_lastNotify.compare_exchange_weak(last, now));
    return true;
}

int CWatchMain::RunningRequestThreads()
{
    return RequestThreadsRunning();
}

void CWatchMain::ReportLoadFailure()
{
    if (m_loadFailure)
        m_loadFailure();
}

void CWatchMain::ReportRulesRefused()
{
    if (m_rulesRefused)
        m_rulesRefused();
}

bool CWatchMain::Control(DWORD code, const void* in, DWORD inSize)
{
    return DeviceControl(m_device.Get(), code, in, inSize, nullptr, 0);
}

std::wstring CWatchMain::DriverFolder() const
{
    if (!m_driverFolder.empty())
        return CPathString::ProgramFolder(m_driverFolder);
    wchar_t systemDir[MAX_PATH + 1] = {};
    GetSystemDirectoryW(systemDir, MAX_PATH);
    return std::wstring(systemDir) + L"\\drivers\\";
}

CWatchMain::StartResult CWatchMain::Start(bool byUser)
{
    if (m_device)
        return START_ALREADY_STARTED;
    std::wstring driverFile = ProgramFolder() + HM_DRIVER_FILE;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!CPathString::GetAttributes(CPathString(driverFile), &attributes)) {
        ReportLoadFailure();
        return START_NO_DRIVER_FILE;
    }
    // A copy that fails leaves the service with an older driver or none.
    // The one case where an installed copy is fine is a copy still in use
    // by the running service (the file is then the same program's).
    std::wstring installed = DriverFolder() + HM_DRIVER_FILE;
    if (!CopyFileW(driverFile.c_str(), installed.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        printf("CopyFile = 0, Error = %d\n", static_cast<int>(error));
        fflush(stdout);
        if (error != ERROR_SHARING_VIOLATION ||
            !CPathString::GetAttributes(CPathString(installed), &attributes)) {
            ReportLoadFailure();
            return START_NOT_INSTALLED;
        }
    }

    HANDLE device = nullptr;
    DWORD error = 0;
    if (!InstallDriver(installed.c_str(), &device, &error)) {
        ReportLoadFailure();
        return START_NO_DEVICE;
    }
    m_device.Reset(device);

    // The driver answers with an address of the caller's width.
    void* address = nullptr;
    DeviceControl(m_device.Get(), IOCTL_WATCH_GET_SHARED, nullptr, 0, &address, sizeof(address));
    if (!address) {
        ReportLoadFailure();
        return START_NO_SHARED_RECORD;
    }
    m_record = static_cast<WATCH_SHARED_RECORD*>(address);

    DWORD pid = GetCurrentProcessId();
    Control(IOCTL_WATCH_SET_PID, &pid, sizeof(pid));

    auto state = std::make_shared<RequestThreadState>();
    state->link = this;
    state->record = m_record;
    state->requestEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->doneEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Handles are 32-bit values on every Windows, so they fit the record.
    m_record->requestEvent = HandleToULong(state->requestEvent.Get());
    m_record->doneEvent = HandleToULong(state->doneEvent.Get());

    UploadRules(byUser);

    // The request thread: waits for the driver's requests on this start's
    // events and decides them; ends when Stop sets its stop event (see
    // RequestThreadProc). It shares the state with the link.
    auto* param = new std::shared_ptr<RequestThreadState>(state);
    if (state->requestEvent && state->doneEvent && state->stopEvent)
        state->thread.Reset(CreateThread(nullptr, 0, RequestThreadProc, param, 0, &state->threadId));
    if (!state->thread) {
        // Nobody would answer the driver: a start that cannot serve it is
        // none, so the driver is never told to ask.
        delete param;
        Stop();
        ReportLoadFailure();
        return START_NO_THREAD;
    }
    m_thread = state;

    StartAsking();
    m_sensorWatcher.Start(SensorPathIn(ProgramFolder()));
    return START_OK;
}

namespace {
// A table the driver refused leaves the machine unguarded by this rule file:
// say so on standard output with the driver traces.
void TraceRefusedTable(int result)
{
    if (result != -2)
        return;
    printf("UploadRuleTable = %d, Error = %d\n", result, static_cast<int>(GetLastError()));
    fflush(stdout);
}
} // namespace

void CWatchMain::StartAsking()
{
    // The driver refuses START when another program holds its session.
    m_sessionHeld = Control(IOCTL_WATCH_START);
    if (!m_sessionHeld) {
        printf("Session refused, Error = %d\n", static_cast<int>(GetLastError()));
        fflush(stdout);
    }
}

bool CWatchMain::CheckSession()
{
    if (!m_device || !m_sessionHeld)
        return false;
    // Any control code is refused once the session is gone; the process id
    // is one the driver only stores.
    DWORD pid = GetCurrentProcessId();
    if (!Control(IOCTL_WATCH_SET_PID, &pid, sizeof(pid))) {
        m_sessionHeld = false;
        printf("Session lost, Error = %d\n", static_cast<int>(GetLastError()));
        fflush(stdout);
    }
    return m_sessionHeld;
}

void CWatchMain::WithdrawPrompt() const
{
    if (m_thread)
        WithdrawRequestPrompt(m_thread.get());
}

CWatchMain::StopResult CWatchMain::Stop()
{
    // Monitoring off: lasting answers end (after the request thread has, see
    // below).
    if (!m_device) {
        m_answers.Forget();
        return STOP_NOT_STARTED;
    }
    m_sensorWatcher.Stop();
    std::shared_ptr<RequestThreadState> thread = std::move(m_thread);
    if (thread)
        CancelRequestThread(thread.get());
    {
        std::lock_guard<std::mutex> guard(m_deviceGuard);
        Control(IOCTL_WATCH_STOP);
        m_device.Close();
    }
    m_sessionHeld = false;
    // A thread waiting for requests ends at once; a prompt it shows is
    // withdrawn (CancelRequestThread): the driver has answered that request
    // with its preset, so the thread writes nothing and ends.
    if (thread && thread->thread && !WaitAnsweringSentMessages(thread->thread.Get(), 2000))
        m_ending.push_back(std::move(thread));
    m_answers.Forget();
    return STOP_OK;
}

void CWatchMain::ReadRules()
{
    // Read on the side: nothing here waits behind a prompt that holds the
    // link mutex, and a decision keeps the set it holds. The groups come back
    // with the file, so the old ones go.
    m_hits.Open(RuleHitFilePath(RuleFile()));
    GroupList groups;
    const FILE_STAMP stamp = FileStampOf(RuleFile());
    std::shared_ptr<RuleSet> next(ReadRuleFile(&groups, RuleFile().c_str()), FreeRuleSet);
    std::shared_ptr<RuleSet> previous;
    {
        std::lock_guard<std::mutex> guard(m_rulesGuard);
        previous = std::move(m_previousRules);
        m_previousRules = std::move(m_rules);
        m_rules = next.get() ? std::move(next) : nullptr;
        m_rulesStamp = m_rules ? stamp : FILE_STAMP();
        m_groups.groups.swap(groups.groups);
    }
    ClearGroups(&groups);
}

int CWatchMain::LoadRules()
{
    ReadRules();
    return Rules() ? 0 : -1;
}

CWatchMain::UploadResult CWatchMain::UploadRules(bool byUser)
{
    if (!m_device)
        return UPLOAD_NOT_STARTED;
    std::shared_ptr<RuleSet> rules = Rules();
    std::unique_lock<std::mutex> guard(m_deviceGuard);
    if (!m_device)
        return UPLOAD_NOT_STARTED;
    const auto result = static_cast<UploadResult>(UploadRuleTable(m_device.Get(), rules.get()));
    guard.unlock();
    TraceRefusedTable(result);
    if (result == UPLOAD_REFUSED && byUser)
        ReportRulesRefused();
    return result;
}

CWatchMain::UploadResult CWatchMain::ReloadRules()
{
    if (m_device) {
        Control(IOCTL_WATCH_STOP);
        m_sessionHeld = false;
        WithdrawPrompt();
    }
    // The user's rules changed: answers given under the old ones end.
    m_answers.Forget();
    ReadRules();

    UploadResult result = UPLOAD_NOT_STARTED;
    if (m_device) {
        result = UploadRules();
        CConfig* config = Config();
        if (config && config->MonitoringWanted())
            StartAsking();
    }
    return result;
}

bool CWatchMain::ResolveRuleContent(uint32_t identity, RULE_CONTENT* content, DWORD waitMs) const
{
    CLinkLock lock(m_linkMutex.Get(), waitMs);
    std::shared_ptr<RuleSet> rules = Rules();
    const Rule* rule = FindRuleById(rules.get(), identity);
    if (!rule)
        return false;
    *content = CopyRuleContent(rule);
    return true;
}

void CWatchMain::WaitForEndingThreads()
{
    // A cancelled thread writes nothing and its prompt was withdrawn, so it
    // ends; until then it may still post its count and save it.
    for (const auto& ending : m_ending)
        WaitAnsweringSentMessages(ending->thread.Get(), INFINITE);
    m_ending.clear();
}

void CWatchMain::Shutdown()
{
    Stop();
    WaitForEndingThreads();
    // A decision still running (its thread outlived Stop's wait) keeps its
    // own reference to the set; the link only lets go of its own.
    SetRules(nullptr);
    {
        std::lock_guard<std::mutex> guard(m_rulesGuard);
        m_previousRules.reset();
        ClearGroups(&m_groups);
    }
    m_linkMutex.Close();
}

