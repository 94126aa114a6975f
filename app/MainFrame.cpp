#include "app/MainFrame.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "monitor/HarrowmereDlg.h"

#define HM_VIEW_ID 0xE900

CChildView::CChildView(bool background) : m_background(background) {}

CChildView::~CChildView()
{
    m_mainDialog.reset();
}

bool CChildView::CreateView(HWND frame)
{
    if (CConfig* config = CConfig::Instance())
        config->Load();

    m_mainDialog.reset(new (std::nothrow) CHarrowmereDlg(frame, m_background));
    if (!m_mainDialog || !m_mainDialog->Create(frame)) {
        // Without its window the program has no tray icon and no way to be
        // ended: the frame's creation fails and the program ends, giving up
        // the instance mutex.
        m_mainDialog.reset();
        return false;
    }
    if (!m_background) {
        ShowWindow(m_mainDialog->Hwnd(), SW_RESTORE);
        ShowWindow(m_mainDialog->Hwnd(), SW_SHOW);
        PostMessageW(m_mainDialog->Hwnd(), WM_SHOW_PAGE, 0, 0);
    }

    return Create(L"HarrowmereView", CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, LoadCursorW(nullptr, IDC_ARROW),
                  reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), L"", WS_CHILD | WS_VISIBLE, WS_EX_CLIENTEDGE,
                  0, 0, 0, 0, frame, reinterpret_cast<HMENU>(static_cast<INT_PTR>(HM_VIEW_ID)));
}

LRESULT CChildView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(m_hWnd, &ps);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        // From the exit command the main window is gone by now (it asked the
        // frame to close). Asked from outside (the setup program and the
        // uninstaller close the frame) it is still there: destroying it runs
        // the guard's orderly end, so the driver link stops and the settings,
        // the block count and the rules' hit counts are saved, before the
        // object goes (its destruction removes the tray icon).
        if (m_mainDialog && m_mainDialog->IsWindow())
            DestroyWindow(m_mainDialog->Hwnd());
        m_mainDialog.reset();
        return 0;
    }
    return CWindow::WindowProc(msg, wParam, lParam);
}

CMainFrame::CMainFrame(bool background) : m_view(background) {}

CMainFrame::~CMainFrame()
{
    Destroy();
}

bool CMainFrame::CreateFrame()
{
    // No cursor, brush or icon: the frame is never seen.
    if (!Create(L"HarrowmereFrame", 0, nullptr, nullptr, HM_MAIN_FRAME_TITLE, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr))
        return false;
    // No taskbar button, and out of the way.
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
    SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return true;
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return m_view.CreateView(m_hWnd) ? 0 : -1;
    case WM_GETMINMAXINFO:
        // An overlapped window gets a caption and with it a minimum size;
        // the frame is meant to be 0 by 0.
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{ 0, 0 };
        return 0;
    case WM_SETFOCUS:
        if (m_view.IsWindow())
            SetFocus(m_view.Hwnd());
        return 0;
    case WM_CLOSE:
        if (m_view.IsWindow())
            SendMessageW(m_view.Hwnd(), WM_CLOSE, 0, 0);
        DestroyWindow(m_hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return CWindow::WindowProc(msg, wParam, lParam);
}
