#include "watch/WatchMain.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/PathString.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "rules/RuleFile.h"
#include "watch/AskAnswer.h"
#include "watch/DriverService.h"
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

CWatchMain::CWatchMain() : m_lastNotify(GetTickCount())
{
}

CWatchMain::~CWatchMain()
{
    Stop();
    std::lock_guard<std::mutex> guard(m_rulesGuard);
    m_rules.reset();
    ClearGroups(&m_groups);
}

void CWatchMain::SetLinkMutex(HANDLE mutex)
{
    if (m_linkMutex.Get() != mutex)
        m_linkMutex.Reset(mutex);
}

std::wstring CWatchMain::ProgramFolder() const
{
    if (!m_programFolder.empty())
        return m_programFolder;
    return CPathString::FolderOf(CPathString::ModulePath()).str();
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
    }
    // `previous` is freed here unless a decision still holds it; then the
    // last decision frees it.
}

int CWatchMain::RunPrompt(const PromptInput& input) const
{
    return m_prompt ? m_prompt(input) : ASK_WITHDRAWN;
}

bool CWatchMain::TakeBalloonTurn(DWORD now)
{
    if (now - m_lastNotify <= 300)
        return false;
    m_lastNotify = now;
    return true;
}

int CWatchMain::RunningRequestThreads()
{
    return RequestThreadsRunning();
}

void CWatchMain::ShowLoadFailure()
{
    if (m_loadFailure) {
        m_loadFailure();
        return;
    }
    ui::ErrorBox(nullptr, ui::LoadStr(IDS_DRIVER_LOAD_FAILED));
}

void CWatchMain::ShowRulesRefused()
{
    if (m_rulesRefused) {
        m_rulesRefused();
        return;
    }
    ui::ErrorBox(nullptr, ui::LoadStr(IDS_RULES_REFUSED));
}

bool CWatchMain::Control(DWORD code, const void* in, DWORD inSize)
{
    return DeviceControl(m_device.Get(), code, in, inSize, nullptr, 0);
}

int CWatchMain::Start(bool byUser)
{
    if (m_device)
        return -1;
    std::wstring driverFile = ProgramFolder() + HM_DRIVER_FILE;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!CPathString::GetAttributes(CPathString(driverFile), &attributes)) {
        ShowLoadFailure();
        return -1;
    }
    wchar_t systemDir[MAX_PATH + 1] = {};
    GetSystemDirectoryW(systemDir, MAX_PATH);
    std::wstring installed = std::wstring(systemDir) + L"\\drivers\\" HM_DRIVER_FILE;
    CopyFileW(driverFile.c_str(), installed.c_str(), FALSE);

    HANDLE device = nullptr;
    DWORD error = 0;
    if (!InstallDriver(installed.c_str(), &device, &error)) {
        ShowLoadFailure();
        return -2;
    }
    m_device.Reset(device);

    // The driver answers with an address of the caller's width.
    void* address = nullptr;
    DeviceControl(m_device.Get(), IOCTL_WATCH_GET_SHARED, nullptr, 0, &address, sizeof(address));
    if (!address) {
        ShowLoadFailure();
        return -3;
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
    state->thread.Reset(CreateThread(nullptr, 0, RequestThreadProc, param, 0, &state->threadId));
    if (!state->thread)
        delete param;
    m_thread = state;

    StartAsking();
    m_sensorWatcher.Start(SensorPathIn(ProgramFolder()));
    return 0;
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

int CWatchMain::Stop()
{
    if (!m_device)
        return -1;
    m_sensorWatcher.Stop();
    std::shared_ptr<RequestThreadState> thread = std::move(m_thread);
    if (thread)
        CancelRequestThread(thread.get());
    Control(IOCTL_WATCH_STOP);
    m_device.Close();
    m_sessionHeld = false;
    // A thread waiting for requests ends at once; a prompt it shows is
    // withdrawn (CancelRequestThread): the driver has answered that request
    // with its preset, so the thread writes nothing and ends.
    if (thread && thread->thread)
        WaitForSingleObject(thread->thread.Get(), 2000);
    return 0;
}

int CWatchMain::LoadRules()
{
    std::wstring path = ProgramFolder() + HM_RULE_FILE;
    CLinkLock lock(m_linkMutex.Get());
    SetRules(ReadRuleFile(&m_groups, path.c_str()));
    return Rules() ? 0 : -1;
}

int CWatchMain::UploadRules(bool byUser)
{
    if (!m_device)
        return -1;
    int result;
    {
        CLinkLock lock(m_linkMutex.Get());
        std::shared_ptr<RuleSet> rules = Rules();
        result = UploadRuleTable(m_device.Get(), rules.get());
    }
    TraceRefusedTable(result);
    if (result == -2 && byUser)
        ShowRulesRefused();
    return result;
}

int CWatchMain::ReloadRules()
{
    if (m_device) {
        Control(IOCTL_WATCH_STOP);
        m_sessionHeld = false;
        WithdrawPrompt();
    }
    // Read on the side: nothing here waits behind a prompt that holds the
    // link mutex. The groups come back with the file, so the old ones go.
    std::wstring path = ProgramFolder() + HM_RULE_FILE;
    GroupList groups;
    RuleSet* set = ReadRuleFile(&groups, path.c_str());
    SetRules(set);
    ClearGroups(&m_groups);
    m_groups.groups.splice(m_groups.groups.end(), groups.groups);

    int result = -1;
    if (m_device) {
        std::shared_ptr<RuleSet> rules = Rules();
        result = UploadRuleTable(m_device.Get(), rules.get());
        TraceRefusedTable(result);
        CConfig* config = Config();
        if (config && config->Hook == 1)
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

void CWatchMain::Shutdown()
{
    Stop();
    {
        CLinkLock lock(m_linkMutex.Get());
        SetRules(nullptr);
    }
    ClearGroups(&m_groups);
    m_linkMutex.Close();
}

