// CWatchMain: the program's one link to the driver. Installs and starts the
// kernel service, opens the device, obtains the shared request record, hands
// over the program's process id, two events and the rule table, and runs the
// request thread that answers the driver.
#pragma once

#include "base/Handles.h"
#include "base/Singleton.h"
#include "driver/common/WatchProtocol.h"
#include "rules/RuleEditing.h"
#include "rules/RuleModel.h"
#include "watch/ProcessWatcher.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CConfig;
struct RequestThreadState;

// What the permission prompt is given for one request.
struct PromptInput {
    DWORD processId;
    std::wstring processName;
    const PARAM_LIST* params; // may be null for an unknown kind
    const Rule* rule;
    HWND mainWindow;
    // Whether the link was stopped meanwhile (null: never). The prompt asks
    // it once its window exists and withdraws at once when it says yes, so
    // that no prompt outlives Stop.
    std::function<bool()> cancelled;
};
// Runs the prompt; returns ASK_ALLOW, ASK_REFUSE, or anything else to leave
// the driver's preset verdict.
using PromptFunction = std::function<int(const PromptInput&)>;

// Waits for the link mutex at most 10000 ms and goes on without it after
// that; releases it when it was had.
class CLinkLock {
public:
    explicit CLinkLock(HANDLE mutex, DWORD timeoutMs = 10000);
    ~CLinkLock();
    CLinkLock(const CLinkLock&) = delete;
    CLinkLock& operator=(const CLinkLock&) = delete;
    bool Owned() const { return m_owned; }

private:
    HANDLE m_mutex;
    bool m_owned = false;
};

class CWatchMain : public CSingleton<CWatchMain> {
public:
    CWatchMain();
    ~CWatchMain() override;

    // Receiver of WM_WATCH_LOG and WM_WATCH_COUNT.
    void SetMainWindow(HWND window) { m_mainWindow = window; }
    HWND MainWindow() const { return m_mainWindow; }
    // Takes ownership of the unnamed link mutex.
    void SetLinkMutex(HANDLE mutex);
    HANDLE LinkMutex() const { return m_linkMutex.Get(); }

    // 0 started; -1 already started or the driver file is missing; -2 the
    // device cannot be opened; -3 the driver gives no shared record (another
    // program holds the driver's session, say). `byUser`: the user asked for
    // it, so a rule table the driver refuses is also reported in a box.
    int Start(bool byUser = false);
    // 0 stopped; -1 not started. After it returns no request is decided.
    int Stop();
    bool IsStarted() const { return m_device.Valid(); }
    // Whether the driver asks this program: started, and the driver's
    // session was begun and is still held (see CheckSession).
    bool IsGuarding() const { return m_device.Valid() && m_sessionHeld; }
    // Asks the driver whether this program still holds its session (it is
    // gone when the driver was stopped, for one); the answer is kept for
    // IsGuarding. False when not started.
    bool CheckSession();

    // Loads "Harrowmere.erd" of the program folder into the rule set and the
    // groups. 0 when a rule set exists afterwards, -1 otherwise.
    int LoadRules();
    // After the rule file was rewritten (the user saved): stop asking (an
    // open prompt is withdrawn: the driver has answered its request with the
    // preset), replace the rule set by a fresh load, upload it, and ask again
    // when monitoring is on. Never waits for the link mutex, which a prompt
    // holds for as long as it is open: the new set is read on the side and
    // swapped in, and a decision still running keeps the set it started with.
    // 0 the new table is in force; -1 nothing sent (not started); -2 the
    // driver refused the new table (traced; the caller reports it).
    int ReloadRules();
    // Copies the content of the rule with this identity in the current set,
    // waiting at most `waitMs` for the link mutex (the prompt that asked for
    // the editor may still be closing) and going on without it after that.
    // False when the identity names no rule of the current set.
    bool ResolveRuleContent(uint32_t identity, RULE_CONTENT* content, DWORD waitMs = 1000) const;
    // Sends the rule table image of the current rule set; nothing when not
    // started. Result as UploadRuleTable (-2: the driver refused the table,
    // which is traced to standard output, and reported in a box with
    // `byUser`).
    int UploadRules(bool byUser = false);
    // At shut-down: stop, free the rule set, clear the groups, close the mutex.
    void Shutdown();

    // The rule set in use. A decision holds this reference until it ends, so
    // a reload never frees rules that a prompt still shows.
    std::shared_ptr<RuleSet> Rules() const;
    // Replaces the rule set (taking ownership; null for none).
    void SetRules(RuleSet* set);
    GroupList& Groups() { return m_groups; }

    // The shared record while one is mapped (null before the first start).
    WATCH_SHARED_RECORD* SharedRecord() const { return m_record; }

    // Program folder (with final backslash) where the driver and rule file
    // are; empty means the running program's folder.
    void SetProgramFolder(const std::wstring& folder) { m_programFolder = folder; }
    std::wstring ProgramFolder() const;

    // The permission prompt for asking rules (the main window hands over
    // the real one). Without one an asking rule leaves the preset verdict.
    void SetPromptFunction(PromptFunction prompt) { m_prompt = std::move(prompt); }
    int RunPrompt(const PromptInput& input) const;
    // Replace the load-failure and refused-table message boxes (tests);
    // null restores them.
    void SetLoadFailureHandler(std::function<void()> handler) { m_loadFailure = std::move(handler); }
    void SetRulesRefusedHandler(std::function<void()> handler) { m_rulesRefused = std::move(handler); }
    // Settings used by the decisions (counter, balloon switch, "Hook");
    // without them nothing is counted.
    void SetConfig(CConfig* config) { m_config = config; }
    CConfig* Config() const { return m_config; }

    // Monitoring balloons come at most every 300 ms: true (and the time
    // taken) when `now` is more than 300 ms after the last one.
    bool TakeBalloonTurn(DWORD now);
    // Tick count of the last monitoring balloon.
    DWORD LastNotify() const { return m_lastNotify; }
    void SetLastNotify(DWORD tick) { m_lastNotify = tick; }

    // Number of request threads now running (tests check there is one).
    static int RunningRequestThreads();

private:
    void ShowLoadFailure();
    void WithdrawPrompt() const;
    void ShowRulesRefused();
    // IOCTL_WATCH_START; whether the driver took it is kept for IsGuarding.
    void StartAsking();
    void FreeRules();
    bool Control(DWORD code, const void* in = nullptr, DWORD inSize = 0);

    HWND m_mainWindow = nullptr;
    ui::CHandle m_linkMutex;
    ui::CHandle m_device;
    WATCH_SHARED_RECORD* m_record = nullptr;
    GroupList m_groups;
    std::shared_ptr<RuleSet> m_rules;
    mutable std::mutex m_rulesGuard; // guards the m_rules pointer itself
    std::shared_ptr<RequestThreadState> m_thread;
    std::wstring m_programFolder;
    PromptFunction m_prompt;
    std::function<void()> m_loadFailure;
    std::function<void()> m_rulesRefused;
    bool m_sessionHeld = false; // the driver took START from this link's device handle
    CConfig* m_config = nullptr;
    CProcessWatcher m_sensorWatcher; // loads the sensor into processes while started
    DWORD m_lastNotify;
};
