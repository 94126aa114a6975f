// CWatchMain: the program's one link to the driver. Installs and starts the
// kernel service, opens the device, obtains the shared request record, hands
// over the program's process id, two events and the rule table, and runs the
// request thread that answers the driver.
#pragma once

#include "base/Handles.h"
#include "base/Singleton.h"
#include "driver/common/WatchProtocol.h"
#include "rules/RuleEditing.h"
#include "rules/RuleFile.h"
#include "rules/RuleHits.h"
#include "rules/RuleModel.h"
#include "watch/AnswerMemory.h"
#include "watch/AskAnswer.h"
#include "watch/ProcessWatcher.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CConfig;
struct RequestThreadState;
struct WatchRequest;

// The rule file of a program folder (with its final backslash):
// "Harrowmere.erd" in it.
std::wstring RuleFilePath(const std::wstring& programFolder);

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
// Runs the prompt; its answer is ASK_ALLOW, ASK_REFUSE, or anything else to
// leave the driver's preset verdict, with how long it holds.
using PromptFunction = std::function<PromptAnswer(const PromptInput&)>;

// How long a decision waits for the link mutex before it gives up.
const DWORD kLinkWaitMs = 10000;

// Waits for the link mutex at most `timeoutMs` and releases it when it was
// had. Owned() says whether it was: a caller that did not get it either does
// without (touching only what the holder cannot change) or reports that it
// could not do its work.
class CLinkLock {
public:
    explicit CLinkLock(HANDLE mutex, DWORD timeoutMs = kLinkWaitMs);
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

    // Results of Start. The first four codes are fixed; "already started"
    // and "driver file missing" share -1 (IsStarted() tells them apart).
    enum StartResult : int {
        START_OK = 0,
        START_ALREADY_STARTED = -1,
        START_NO_DRIVER_FILE = -1,
        START_NO_DEVICE = -2,        // the device cannot be opened
        START_NO_SHARED_RECORD = -3, // another program holds the driver's session, say
        START_NO_THREAD = -4,        // the request thread could not be made; the link is stopped again
        START_NOT_INSTALLED = -5,    // the driver file could not be copied into the system's driver folder
    };
    // Starts the link. Every failure but "already started" calls the load
    // failure handler; `byUser`: the user asked for it, so a rule table the
    // driver refuses calls the refused-table handler too.
    [[nodiscard]] StartResult Start(bool byUser = false);
    // 0 stopped; -1 not started. After it returns no request is decided.
    enum StopResult : int { STOP_OK = 0, STOP_NOT_STARTED = -1 };
    StopResult Stop();
    bool IsStarted() const { return m_device.Valid(); }
    // Whether the driver asks this program: started, and the driver's
    // session was begun and is still held (see CheckSession).
    bool IsGuarding() const { return m_device.Valid() && m_sessionHeld; }
    // Asks the driver whether this program still holds its session (it is
    // gone when the driver was stopped, for one); the answer is kept for
    // IsGuarding. False when not started.
    bool CheckSession();

    // Loads "Harrowmere.erd" of the program folder into the rule set and the
    // groups, read on the side and swapped in like a reload (a decision keeps
    // the set it holds). 0 when a rule set exists afterwards, -1 otherwise.
    int LoadRules();
    // Results of UploadRules and ReloadRules (the codes of UploadRuleTable).
    enum UploadResult : int {
        UPLOAD_OK = 0,           // the new table is in force
        UPLOAD_NOT_STARTED = -1, // nothing sent
        UPLOAD_REFUSED = -2,     // the driver refused the table (traced; see the refused-table handler)
    };
    // After the rule file was rewritten (the user saved): stop asking (an
    // open prompt is withdrawn: the driver has answered its request with the
    // preset), replace the rule set by a fresh load, upload it, and ask again
    // when monitoring is on. Never waits for the link mutex, which a prompt
    // holds for as long as it is open: the new set is read on the side and
    // swapped in, and a decision still running keeps the set it started with.
    // Result as UploadRules.
    UploadResult ReloadRules();
    // Copies the content of the rule with this identity in the current set,
    // waiting at most `waitMs` for the link mutex (the prompt that asked for
    // the editor may still be closing). Without the mutex it reads only its
    // own reference to the current set, which no holder changes (a set is
    // never altered once loaded, only replaced). False when the identity
    // names no rule of the current set.
    bool ResolveRuleContent(uint32_t identity, RULE_CONTENT* content, DWORD waitMs = 1000) const;
    // Sends the rule table image of the current rule set; nothing when not
    // started. A refused table is traced to standard output, and with
    // `byUser` handed to the refused-table handler. Needs no link mutex: it
    // builds the image from its own reference to the current set.
    UploadResult UploadRules(bool byUser = false);
    // At shut-down: stop, wait for every request thread that Stop left
    // ending, free the rule set, clear the groups, close the mutex.
    void Shutdown();

    // The rule set in use. A decision holds this reference until it ends, so
    // a reload never frees rules that a prompt still shows.
    std::shared_ptr<RuleSet> Rules() const;
    // Replaces the rule set (taking ownership; null for none).
    void SetRules(RuleSet* set);
    // A copy of the groups that came with the rule file.
    GroupList Groups() const;
    // The rule file's stamp taken just before the rules in use were read
    // from it; zeros for rules that did not come from the file.
    FILE_STAMP RulesStamp() const;
    // What each rule has decided: counted by the request thread, bound to
    // the hit file beside the rule file when the rules are loaded, written
    // with the block counter.
    CRuleHitStore& Hits() { return m_hits; }

    // The shared record while one is mapped (null before the first start).
    WATCH_SHARED_RECORD* SharedRecord() const { return m_record; }

    // Program folder (with final backslash) where the driver and rule file
    // are; empty means the running program's folder.
    void SetProgramFolder(const std::wstring& folder) { m_programFolder = folder; }
    // The program folder with a final backslash.
    std::wstring ProgramFolder() const;
    // The rule file: "Harrowmere.erd" of the program folder.
    std::wstring RuleFile() const;

    // The permission prompt for asking rules (the main window hands over
    // the real one). Without one an asking rule leaves the preset verdict.
    void SetPromptFunction(PromptFunction prompt) { m_prompt = std::move(prompt); }
    PromptAnswer RunPrompt(const PromptInput& input) const;

    // The prompt's lasting and shared answers. Forgotten when the user's
    // rules are reloaded and when the link stops; they end with the link.
    CAnswerMemory& Answers() { return m_answers; }
    // The image path of a requesting process, by which answers are kept
    // (ProcessImagePath unless a test substitutes it).
    std::wstring ProcessPath(uint32_t processId) const;
    void SetProcessPathLookup(std::function<std::wstring(uint32_t)> lookup) { m_processPath = std::move(lookup); }

    // Adds the rule a prompt answered with "总是" to the rule file (see
    // AddPromptRule): `asking` is the rule that asked, `answer` ASK_ALLOW or
    // ASK_REFUSE. Once written, the file is read again and its table sent to
    // the driver while it goes on asking (requests it matched before still
    // name rules of the set they were matched in, see RulesHolding), and the
    // main window gets WM_WATCH_RULES_WRITTEN for an open editor. Needs no
    // link mutex. False when the file could not be written.
    bool AddRuleFromPrompt(const Rule* asking, const WatchRequest& request, int answer);
    // The set holding the rule of that identity: the current one, or the one
    // it replaced when the driver went on asking across the replacement.
    // Null when neither holds it.
    std::shared_ptr<RuleSet> RulesHolding(uint32_t identity) const;
    // What the caller does when the driver cannot be loaded and when the
    // driver refuses a table the user asked for (the main window shows its
    // message boxes); without one the link only returns its code.
    void SetLoadFailureHandler(std::function<void()> handler) { m_loadFailure = std::move(handler); }
    void SetRulesRefusedHandler(std::function<void()> handler) { m_rulesRefused = std::move(handler); }
    // Settings used by the decisions (counter, balloon switch, "Hook");
    // without them nothing is counted.
    void SetConfig(CConfig* config) { m_config = config; }
    CConfig* Config() const { return m_config; }

    // How long an asking decision waits for the link mutex (tests shorten it).
    void SetLinkWait(DWORD ms) { m_linkWaitMs = ms; }
    DWORD LinkWait() const { return m_linkWaitMs; }
    // The folder the driver file is copied into before the service starts
    // ("drivers" of the system folder; tests point it elsewhere).
    void SetDriverFolder(const std::wstring& folder) { m_driverFolder = folder; }
    std::wstring DriverFolder() const;

    // Monitoring balloons come at most every 300 ms: true (and the time
    // taken) when `now` is more than 300 ms after the last one. Any thread.
    bool TakeBalloonTurn(DWORD now);
    // Tick count of the last monitoring balloon (any thread).
    DWORD LastNotify() const { return m_lastNotify.load(); }
    void SetLastNotify(DWORD tick) { m_lastNotify.store(tick); }

    // Number of request threads now running (tests check there is one).
    static int RunningRequestThreads();

private:
    void ReportLoadFailure();
    void WithdrawPrompt() const;
    void ReportRulesRefused();
    // Reads the rule file on the side and swaps set and groups in.
    void ReadRules();
    // IOCTL_WATCH_START; whether the driver took it is kept for IsGuarding.
    void StartAsking();
    void FreeRules();
    void WaitForEndingThreads();
    bool Control(DWORD code, const void* in = nullptr, DWORD inSize = 0);

    HWND m_mainWindow = nullptr;
    ui::CHandle m_linkMutex;
    ui::CHandle m_device;
    WATCH_SHARED_RECORD* m_record = nullptr;
    // m_rulesGuard guards the m_rules pointer and the groups; the set itself
    // is never changed once loaded.
    mutable std::mutex m_rulesGuard;
    GroupList m_groups;
    std::shared_ptr<RuleSet> m_rules;
    FILE_STAMP m_rulesStamp;
    CRuleHitStore m_hits;
    // The set m_rules replaced: after a replacement the driver did not stop
    // for, requests it matched before still name its rules.
    std::shared_ptr<RuleSet> m_previousRules;
    // Serialises the table upload of the request thread (AddRuleFromPrompt)
    // with Stop closing the device.
    std::mutex m_deviceGuard;
    CAnswerMemory m_answers;
    std::function<std::wstring(uint32_t)> m_processPath;
    std::shared_ptr<RequestThreadState> m_thread;
    // Cancelled request threads that had not ended when Stop stopped
    // waiting: they still reach this link and its settings on their way
    // out, so Shutdown waits for them before either goes.
    std::vector<std::shared_ptr<RequestThreadState>> m_ending;
    std::wstring m_programFolder;
    PromptFunction m_prompt;
    std::function<void()> m_loadFailure;
    std::function<void()> m_rulesRefused;
    bool m_sessionHeld = false; // the driver took START from this link's device handle
    CConfig* m_config = nullptr;
    DWORD m_linkWaitMs = kLinkWaitMs;
    std::wstring m_driverFolder;
    std::atomic<DWORD> m_lastNotify; // the request thread takes turns; tests set it
    CProcessWatcher m_sensorWatcher; // loads the sensor into processes while started
};
