// The permission prompt: asks the user to allow or refuse one intercepted
// operation and closes by itself after a countdown with the rule's default
// answer (allow for an Accept rule, refuse otherwise).
//
// It runs modally on the request thread, which holds the link mutex while the
// prompt is open, so there is at most one prompt at a time. Everything the
// window shows is copied from the request and the rule at construction: the
// prompt keeps no pointer into the rule set or the request record.
#pragma once

#include "base/Handles.h"
#include "controls/VxLinkStatic.h"
#include "rules/ParamList.h"
#include "rules/RuleModel.h"
#include "ui/Dialog.h"
#include "watch/AskAnswer.h"
#include "watch/WatchMain.h"

#include <windows.h>

#include <stdint.h>
#include <functional>
#include <string>

#define ASK_TIMER_ID 4849
#define ASK_COUNTDOWN_SECONDS 30
#define ASK_TICK_MS 1000
// Parameter texts are shown with at most this many characters.
#define ASK_PARAM_CHARS 100
// The answers (buttons, Enter, Escape, F1, F2, the close box) take effect
// only once the prompt has been on screen this long, so that a click or a
// key meant for the window before it cannot answer a new prompt.
#define ASK_ANSWER_DELAY_MS 500

class CAskDlg : public ui::CDialog {
public:
    // processName: the name from the request record (kept, not shown).
    // params: the request's parameters (kind and texts); null shows an
    // invalid kind and no texts. rule: the matched rule (action, description,
    // identity); null counts as a Reject rule without description.
    // mainWindow receives WM_WATCH_EDIT_RULE from the edit-rule link; null
    // sends nothing.
    CAskDlg(const wchar_t* processName, uint32_t processId, const PARAM_LIST* params,
            const Rule* rule, HWND mainWindow);

    // Length of one countdown step; ASK_TICK_MS unless a test shortens it.
    void SetTickPeriod(UINT ms) { m_tickMs = ms ? ms : 1; }
    // Asked once the window exists: true withdraws the prompt before it is
    // shown (the link it answers for was stopped).
    void SetCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    // Substitutes the clock that times the answer delay (milliseconds since
    // the system started).
    void SetClock(std::function<uint64_t()> clock) { m_clock = std::move(clock); }

    // Shows the prompt modally and returns ASK_ALLOW or ASK_REFUSE, or
    // ASK_WITHDRAWN after WM_ASK_WITHDRAW or the cancel check. When the
    // window cannot be created nobody has answered: ASK_WITHDRAWN, so the
    // driver's preset verdict stands.
    int Ask(HWND owner);

    // How long the answer Ask returned holds: the list's choice when the
    // user answered, Once when the prompt answered by itself.
    PromptAnswer Answer() const { return m_answer; }

    const std::wstring& ProcessName() const { return m_processName; }
    const std::wstring& ProcessPath() const { return m_processPath; }
    int Remaining() const { return m_remaining; }
    int DefaultAnswer() const { return AskDefaultAnswer(m_action); }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnTimer(UINT_PTR id) override;
    BOOL OnPaint() override;
    void OnDestroy() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void CenterOnDesktop();
    void ShowCountdown();
    void ShowParameters();
    void ShowProcess();
    void SetupLinks();
    void OpenProperties();
    void EditRule();
    void FillDurations();
    // Closes with the user's answer, held as the list says.
    void AnswerChosen(int answer);
    // Closes with an answer nobody chose (countdown, edit-rule link,
    // withdrawal): for this request only.
    void AnswerAlone(int answer);
    uint64_t Now() const;
    // Whether an answer of the user counts now: the prompt is shown and has
    // been for the answer delay.
    bool AcceptsAnswers() const;

    // Inputs, copied.
    std::wstring m_processName;
    uint32_t m_processId;
    uint32_t m_kind;
    std::wstring m_params[PARAM_MAX_ENTRIES];
    uint16_t m_action;
    std::wstring m_description;
    uint32_t m_ruleId;
    HWND m_mainWindow;
    std::function<bool()> m_cancelled;
    std::function<uint64_t()> m_clock;

    // Own state.
    std::wstring m_processPath;
    int m_remaining = ASK_COUNTDOWN_SECONDS;
    UINT m_tickMs = ASK_TICK_MS;
    bool m_shown = false;
    uint64_t m_shownAt = 0;
    ui::CBrush m_background;
    ui::CBrush m_frame;
    CVxLinkStatic m_propertiesLink;
    CVxLinkStatic m_editRuleLink;
    ui::CIcon m_processIcon;
    PromptAnswer m_answer;
};

// The real permission prompt for one request of the driver link (modal, on
// the calling thread): the prompt function the main window hands to it.
PromptAnswer RunAskDialog(const PromptInput& input);
