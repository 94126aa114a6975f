// Dialog base for modal and modeless dialogs built from resource templates.
// The dialog procedure finds the object (stored at WM_INITDIALOG) and
// forwards each message to a typed virtual handler in one switch.
#pragma once

#include <windows.h>

namespace ui {

class CDialog {
public:
    explicit CDialog(UINT templateId) : m_templateId(templateId) {}
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Modal: runs its own loop and returns the EndDialog result (-1 when the
    // template cannot be loaded).
    INT_PTR DoModal(HWND owner);
    // Modeless: creates the dialog (not shown unless the template says so)
    // and registers it with the message loop; false on failure.
    bool Create(HWND parent);
    // Ends a modal dialog, or destroys a modeless one.
    void End(INT_PTR result);

    HWND Hwnd() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    bool IsModal() const { return m_modal; }
    UINT TemplateId() const { return m_templateId; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

    static CDialog* FromHandle(HWND hwnd);

protected:
    // Handlers; each returns what the dialog procedure returns (TRUE when the
    // message was handled) unless it says otherwise.
    virtual BOOL OnInitDialog() { return TRUE; }          // TRUE: default focus
    virtual BOOL OnCommand(int id, int code, HWND control); // IDOK / IDCANCEL end the dialog
    virtual BOOL OnNotify(NMHDR* header, LRESULT& result) { return FALSE; }
    virtual BOOL OnTimer(UINT_PTR id) { return FALSE; }
    virtual BOOL OnPaint() { return FALSE; }
    virtual BOOL OnClose();                               // same as IDCANCEL
    virtual void OnDestroy() {}
    // WM_CTLCOLOR*: a brush for the control, or null for the default.
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) { return nullptr; }
    // Every other message. Set `result` (stored as DWLP_MSGRESULT) and return
    // TRUE when handled.
    virtual BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) { return FALSE; }
    // After the window is gone (modeless dialogs that delete themselves).
    virtual void OnFinalMessage() {}

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK StaticDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    bool m_modal = false;
};

} // namespace ui
