#include "ui/OwnedToolWindow.h"

ui::CDialog* COwnedToolWindow::Show()
{
    if (m_window && m_window->IsWindow()) {
        HWND hwnd = m_window->Hwnd();
        ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
    } else {
        // The user closed the previous one: its object goes with it.
        m_window.reset();
        if (!m_factory)
            return nullptr;
        std::unique_ptr<ui::CDialog> window = m_factory();
        if (!window || !window->Create(nullptr))
            return nullptr;
        m_window = std::move(window);
        ShowWindow(m_window->Hwnd(), SW_SHOW);
    }
    SetActiveWindow(m_window->Hwnd());
    SetForegroundWindow(m_window->Hwnd());
    return m_window.get();
}

ui::CDialog* COwnedToolWindow::Get() const
{
    return m_window && m_window->IsWindow() ? m_window.get() : nullptr;
}

void COwnedToolWindow::Close()
{
    if (m_window && m_window->IsWindow())
        SendMessageW(m_window->Hwnd(), WM_CLOSE, 0, 0);
    m_window.reset();
}
