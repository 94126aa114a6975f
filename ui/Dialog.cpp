#include "ui/Dialog.h"

#include "base/Strings.h"
#include "ui/MessageLoop.h"

namespace ui {

CDialog::~CDialog()
{
    if (IsWindow()) {
        // Destroying here runs the handlers of a half-destroyed object only
        // for the base; derived windows close themselves before this point.
        HWND hwnd = m_hWnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        RemoveModelessDialog(hwnd);
        DestroyWindow(hwnd);
    }
    m_hWnd = nullptr;
}

INT_PTR CDialog::DoModal(HWND owner)
{
    m_modal = true;
    return DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(m_templateId), owner, StaticDlgProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent)
{
    m_modal = false;
    HWND hwnd = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(m_templateId), parent, StaticDlgProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!hwnd)
        return false;
    AddModelessDialog(hwnd);
    return true;
}

void CDialog::End(INT_PTR result)
{
    if (!IsWindow())
        return;
    if (m_modal)
        EndDialog(m_hWnd, result);
    else
        DestroyWindow(m_hWnd);
}

CDialog* CDialog::FromHandle(HWND hwnd)
{
    if (!hwnd || GetWindowLongPtrW(hwnd, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(StaticDlgProc))
        return nullptr;
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

BOOL CDialog::OnCommand(int id, int code, HWND control)
{
    if (id == IDOK || id == IDCANCEL) {
        End(id);
        return TRUE;
    }
    return FALSE;
}

BOOL CDialog::OnClose()
{
    return OnCommand(IDCANCEL, BN_CLICKED, nullptr);
}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    INT_PTR result = self->DialogProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        if (!self->m_modal)
            RemoveModelessDialog(hwnd);
        self->m_hWnd = nullptr;
        self->OnFinalMessage();
    }
    return result;
}

INT_PTR CDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<NMHDR*>(lParam), result))
            return FALSE;
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_TIMER:
        return OnTimer(wParam);
    case WM_PAINT:
        return OnPaint();
    case WM_CLOSE:
        return OnClose();
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        // A brush is the dialog procedure's result itself for these messages.
        return reinterpret_cast<INT_PTR>(OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), msg));
    default: {
        LRESULT result = 0;
        if (!OnMessage(msg, wParam, lParam, result))
            return FALSE;
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}

} // namespace ui
