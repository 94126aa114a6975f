#include "watch/ui/AskDlg.h"

#include "base/LateBound.h"
#include "base/Messages.h"
#include "base/ProcessPath.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "ui/Palette.h"
#include "ui/Window.h"

#include <commctrl.h>

namespace {

// F1 and F2 answer the prompt when they are released. In a modal dialog the
// key messages go to the focused control and never reach the dialog
// procedure, so a message hook on the prompt's thread watches for them. One
// prompt per thread at most: the request thread shows one at a time.
struct KeyWatch {
    HHOOK hook = nullptr;
    CAskDlg* dialog = nullptr;
};
thread_local KeyWatch t_keyWatch;

LRESULT CALLBACK KeyUpHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE && t_keyWatch.dialog) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        HWND dialog = t_keyWatch.dialog->Hwnd();
        if (msg->message == WM_KEYUP && (msg->wParam == VK_F1 || msg->wParam == VK_F2) && dialog &&
            (msg->hwnd == dialog || IsChild(dialog, msg->hwnd))) {
            // Answer as the matching button would.
            int button = msg->wParam == VK_F1 ? IDOK : IDCANCEL;
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
            msg->message = WM_NULL;
        }
    }
    return CallNextHookEx(t_keyWatch.hook, code, wParam, lParam);
}

} // namespace


CAskDlg::CAskDlg(const wchar_t* processName, uint32_t processId, const PARAM_LIST* params,
                 const Rule* rule, HWND mainWindow)
    : ui::CDialog(IDD_ASK),
      m_processName(processName ? processName : L""),
      m_processId(processId),
      m_kind(params ? params->kind : OPERATION_KIND_COUNT),
      m_action(rule ? rule->action : static_cast<uint16_t>(RuleAction::Reject)),
      m_description(rule ? rule->info : std::wstring()),
      m_ruleId(rule ? rule->id : 0),
      m_mainWindow(mainWindow)
{
    for (uint32_t i = 0; i < PARAM_MAX_ENTRIES; ++i) {
        wchar_t text[ASK_PARAM_CHARS + 1] = {};
        if (params)
            FormatParam(params, i, text, ASK_PARAM_CHARS + 1);
        m_params[i] = text;
    }
}

int CAskDlg::Ask(HWND owner)
{
    m_answer = PromptAnswer();
    INT_PTR result = DoModal(owner);
    if (result == ASK_ALLOW || result == ASK_REFUSE)
        return static_cast<int>(result);
    m_answer = PromptAnswer();
    return ASK_WITHDRAWN;
}

void CAskDlg::AnswerChosen(int answer)
{
    const LRESULT chosen = SendDlgItemMessageW(m_hWnd, IDC_ASK_DURATION, CB_GETCURSEL, 0, 0);
    const AnswerDuration duration = chosen >= 0 && chosen < ANSWER_DURATION_COUNT
                                        ? static_cast<AnswerDuration>(chosen)
                                        : AnswerDuration::Once;
    m_answer = PromptAnswer(answer, duration, true);
    End(answer);
}

void CAskDlg::AnswerAlone(int answer)
{
    m_answer = PromptAnswer(answer);
    End(answer);
}

void CAskDlg::FillDurations()
{
    const UINT texts[ANSWER_DURATION_COUNT] = { IDS_ASK_DURATION_ONCE, IDS_ASK_DURATION_TEN_MINUTES,
                                                IDS_ASK_DURATION_UNTIL_EXIT, IDS_ASK_DURATION_ALWAYS };
    HWND list = Item(IDC_ASK_DURATION);
    for (UINT text : texts)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ui::LoadStr(text).c_str()));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(AnswerDuration::Once), 0);
}

BOOL CAskDlg::OnInitDialog()
{
    // The window exists from here on, so a Stop that comes later finds it
    // and withdraws it; one that came earlier is seen here.
    if (m_cancelled && m_cancelled()) {
        AnswerAlone(ASK_WITHDRAWN);
        return TRUE;
    }
    m_background.Reset(CreateSolidBrush(ui::palette::kPromptGround));
    m_frame.Reset(CreateSolidBrush(ui::palette::kFrame));

    HINSTANCE module = ui::ResourceModule();
    auto loadIcon = [module](UINT id, int size) {
        return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
    };
    ui::SetWindowIcons(m_hWnd, IDI_MAINFRAME);
    SendDlgItemMessageW(m_hWnd, IDOK, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(loadIcon(IDI_ASK_ALLOW, 16)));
    SendDlgItemMessageW(m_hWnd, IDCANCEL, BM_SETIMAGE, IMAGE_ICON,
                        reinterpret_cast<LPARAM>(loadIcon(IDI_ASK_REFUSE, 16)));

    CenterOnDesktop();
    SetupLinks();
    FillDurations();

    m_remaining = ASK_COUNTDOWN_SECONDS;
    ShowCountdown();
    ShowParameters();
    SetDlgItemTextW(m_hWnd, IDC_ASK_DESCRIPTION, m_description.c_str());
    SetDlgItemTextW(m_hWnd, IDC_ASK_OPERATION,
                    ui::FormatStr(ui::LoadStr(IDS_ASK_OPERATION).c_str(), OperationDisplayName(m_kind)).c_str());
    ShowProcess();

    SetTimer(m_hWnd, ASK_TIMER_ID, m_tickMs, nullptr);
    if (!t_keyWatch.hook) {
        t_keyWatch.hook = SetWindowsHookExW(WH_GETMESSAGE, KeyUpHook, nullptr, GetCurrentThreadId());
        t_keyWatch.dialog = this;
    }

    SetFocus(Item(IDOK));
    return FALSE; // focus set here
}

void CAskDlg::CenterOnDesktop()
{
    RECT desktop, window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(m_hWnd, &window);
    int cx = window.right - window.left, cy = window.bottom - window.top;
    int x = desktop.left + (desktop.right - desktop.left - cx) / 2;
    int y = desktop.top + (desktop.bottom - desktop.top - cy) / 2;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CAskDlg::SetupLinks()
{
    // The links take the places of the template's labels (same ids and
    // texts) and tell the prompt of a click with STN_CLICKED.
    for (CVxLinkStatic* link : { &m_propertiesLink, &m_editRuleLink }) {
        link->CreateOver(Item(link == &m_propertiesLink ? IDC_ASK_PROPERTIES : IDC_ASK_EDIT_RULE));
        link->SetLinkColour(ui::palette::kPromptLinkText);
    }
}

void CAskDlg::ShowCountdown()
{
    UINT id = m_action == RuleAction::Accept ? IDS_ASK_COUNTDOWN_ALLOW : IDS_ASK_COUNTDOWN_REFUSE;
    SetDlgItemTextW(m_hWnd, IDC_ASK_COUNTDOWN, ui::FormatStr(ui::LoadStr(id).c_str(), m_remaining).c_str());
}

void CAskDlg::ShowParameters()
{
    // Only the registry kind has a second parameter (the value name).
    bool registry = m_kind == OperationKind::SetRegistryValue;
    SetDlgItemTextW(m_hWnd, IDC_ASK_PARAM1_LABEL,
                    ui::LoadStr(registry ? IDS_ASK_REGISTRY_PATH : IDS_ASK_FILE_PATH).c_str());
    SetDlgItemTextW(m_hWnd, IDC_ASK_PARAM1, m_params[0].c_str());
    if (registry) {
        SetDlgItemTextW(m_hWnd, IDC_ASK_PARAM2_LABEL, ui::LoadStr(IDS_ASK_REGISTRY_NAME).c_str());
        SetDlgItemTextW(m_hWnd, IDC_ASK_PARAM2, m_params[1].c_str());
    }
    ShowWindow(Item(IDC_ASK_PARAM2_LABEL), registry ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_ASK_PARAM2), registry ? SW_SHOW : SW_HIDE);
}

void CAskDlg::ShowProcess()
{
    m_processPath = ProcessImagePath(m_processId);
    SetDlgItemTextW(m_hWnd, IDC_ASK_PROCESS,
                    ui::FormatStr(ui::LoadStr(IDS_ASK_PROCESS).c_str(), m_processPath.c_str(),
                                  static_cast<int>(m_processId))
                        .c_str());

    // The shell's icon for the path; the file need not exist.
    m_processIcon.Reset(ShellFileIcon(m_processPath, false));
    if (m_processIcon.Get())
        SendDlgItemMessageW(m_hWnd, IDC_ASK_PROCESS_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_processIcon.Get()), 0);
}

void CAskDlg::OpenProperties()
{
    // The prompt and its countdown go on while the sheet shows. No error
    // box: it would hold the request thread after the prompt has answered.
    ShowFileProperties(m_hWnd, m_processPath);
}

void CAskDlg::EditRule()
{
    if (m_mainWindow)
        PostMessageW(m_mainWindow, WM_WATCH_EDIT_RULE, static_cast<WPARAM>(m_ruleId), 0);
    AnswerAlone(DefaultAnswer());
}

uint64_t CAskDlg::Now() const
{
    return m_clock ? m_clock() : TickCount64();
}

bool CAskDlg::AcceptsAnswers() const
{
    return m_shown && Now() - m_shownAt >= ASK_ANSWER_DELAY_MS;
}

BOOL CAskDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDOK: // also Enter and F1
    case IDCANCEL: // also Escape, F2 and the close box
        // Too early, the answer is dropped: the user has not seen the prompt.
        if (AcceptsAnswers())
            AnswerChosen(id == IDOK ? ASK_ALLOW : ASK_REFUSE);
        return TRUE;
    case IDC_ASK_PROPERTIES:
        if (code != STN_CLICKED)
            return FALSE;
        OpenProperties();
        return TRUE;
    case IDC_ASK_EDIT_RULE:
        if (code != STN_CLICKED)
            return FALSE;
        EditRule();
        return TRUE;
    }
    return FALSE;
}

BOOL CAskDlg::OnTimer(UINT_PTR id)
{
    if (id != ASK_TIMER_ID)
        return FALSE;
    if (m_remaining > 0)
        --m_remaining;
    ShowCountdown();
    if (m_remaining == 0) {
        KillTimer(m_hWnd, ASK_TIMER_ID);
        // Nobody answered: whatever the list shows, for this request only.
        AnswerAlone(DefaultAnswer());
    }
    return TRUE;
}

BOOL CAskDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(m_hWnd, &client);
    FillRect(dc, &client, m_background.Get());
    FrameRect(dc, &client, m_frame.Get());
    EndPaint(m_hWnd, &ps);
    return TRUE;
}

HBRUSH CAskDlg::OnCtlColor(HDC dc, HWND control, UINT kind)
{
    switch (kind) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
        return m_background.Get();
    case WM_CTLCOLORSTATIC: // labels, read-only edits and the links' ground
        SetBkColor(dc, ui::palette::kPromptGround);
        return m_background.Get();
    }
    return nullptr;
}

BOOL CAskDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == WM_ASK_WITHDRAW) {
        AnswerAlone(ASK_WITHDRAWN);
        return TRUE;
    }
    if (msg == WM_SHOWWINDOW && wParam && !m_shown) {
        // The answer delay runs from the moment the prompt appears.
        m_shown = true;
        m_shownAt = Now();
    }
    return FALSE;
}

void CAskDlg::OnDestroy()
{
    KillTimer(m_hWnd, ASK_TIMER_ID);
    if (t_keyWatch.dialog == this) {
        UnhookWindowsHookEx(t_keyWatch.hook);
        t_keyWatch = KeyWatch();
    }
}

PromptAnswer RunAskDialog(const PromptInput& input)
{
    CAskDlg prompt(input.processName.c_str(), input.processId, input.params, input.rule, input.mainWindow);
    prompt.SetCancelCheck(input.cancelled);
    prompt.Ask(GetDesktopWindow());
    return prompt.Answer();
}
