#include "monitor/TrayIcon.h"

#include <shellapi.h>

bool CTrayIcon::Add(HWND owner, UINT id, UINT callbackMessage, HICON icon, const std::wstring& tip)
{
    m_data = {};
    m_data.cbSize = sizeof(m_data);
    m_data.hWnd = owner;
    m_data.uID = id;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = callbackMessage;
    m_data.hIcon = icon;
    lstrcpynW(m_data.szTip, tip.c_str(), ARRAYSIZE(m_data.szTip));
    m_added = Shell_NotifyIconW(NIM_ADD, &m_data) != FALSE;
    return m_added;
}

bool CTrayIcon::SetIcon(HICON icon)
{
    m_data.hIcon = icon;
    m_data.uFlags = NIF_ICON;
    return m_added && Shell_NotifyIconW(NIM_MODIFY, &m_data);
}

bool CTrayIcon::SetTip(const std::wstring& tip)
{
    lstrcpynW(m_data.szTip, tip.c_str(), ARRAYSIZE(m_data.szTip));
    m_data.uFlags = NIF_TIP;
    return m_added && Shell_NotifyIconW(NIM_MODIFY, &m_data);
}

void CTrayIcon::Remove()
{
    if (!m_added)
        return;
    m_data.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &m_data);
    m_added = false;
}
