#include "controls/VxPicture.h"

#include "controls/Placeholder.h"

#include <commctrl.h>

namespace {
const UINT_PTR kFrameTimer = 1;
} // namespace

bool CVxPicture::Create(HWND parent, int id, const RECT& rect, DWORD style)
{
    return CreateChild(L"HmVxPicture", LoadCursorW(nullptr, IDC_HAND), parent, id, rect, L"", style);
}

bool CVxPicture::CreateOver(HWND placeholder)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, p.font);
    return true;
}

void CVxPicture::Unload()
{
    if (m_hWnd) {
        KillTimer(m_hWnd, kFrameTimer);
        InvalidateRect(m_hWnd, nullptr, FALSE);
    }
    m_image = DECODED_IMAGE();
    m_frame = 0;
}

bool CVxPicture::Show(bool decoded)
{
    if (!decoded)
        m_image = DECODED_IMAGE();
    m_frame = 0;
    ScheduleNextFrame();
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return decoded;
}

bool CVxPicture::LoadFile(const std::wstring& path)
{
    Unload();
    RECT r = {};
    GetClientRect(m_hWnd, &r);
    return Show(DecodeImageFile(path, r.right, r.bottom, m_back, &m_image));
}

bool CVxPicture::LoadResource(HINSTANCE module, const wchar_t* type, UINT id)
{
    Unload();
    RECT r = {};
    GetClientRect(m_hWnd, &r);
    return Show(DecodeImageResource(module, type, id, r.right, r.bottom, m_back, &m_image));
}

void CVxPicture::ScheduleNextFrame()
{
    if (m_hWnd && m_image.frames.size() > 1)
        SetTimer(m_hWnd, kFrameTimer, m_image.delaysMs[static_cast<size_t>(m_frame)], nullptr);
}

HBITMAP CVxPicture::CurrentBitmap() const
{
    return m_image.frames.empty() ? nullptr : m_image.frames[static_cast<size_t>(m_frame)].Get();
}

void CVxPicture::SetTooltip(const std::wstring& text)
{
    m_tipText = text;
    if (!m_hWnd)
        return;
    TOOLINFOW ti = { sizeof(ti) };
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = GetParent(m_hWnd);
    ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    ti.lpszText = &m_tipText[0];
    if (!m_tip) {
        m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                                0, 0, m_hWnd, nullptr, nullptr, nullptr);
        if (m_tip)
            SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    } else {
        SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

void CVxPicture::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    ui::CBrush back(CreateSolidBrush(m_back));
    FillRect(dc, &client, back.Get());
    HBITMAP bitmap = CurrentBitmap();
    if (!bitmap)
        return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, 0, 0, m_image.width, m_image.height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

LRESULT CVxPicture::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kFrameTimer && !m_image.frames.empty()) {
            m_frame = (m_frame + 1) % static_cast<int>(m_image.frames.size());
            ScheduleNextFrame();
            InvalidateRect(m_hWnd, nullptr, FALSE);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        m_pressed = true;
        SetCapture(m_hWnd);
        return 0;
    case WM_LBUTTONUP: {
        if (!m_pressed)
            return 0;
        m_pressed = false;
        ReleaseCapture();
        POINT pt = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        RECT client;
        GetClientRect(m_hWnd, &client);
        if (PtInRect(&client, pt)) {
            if (m_tip)
                SendMessageW(m_tip, TTM_POP, 0, 0);
            SendMessageW(GetParent(m_hWnd), WM_COMMAND,
                         MAKEWPARAM(GetDlgCtrlID(m_hWnd), STN_CLICKED), reinterpret_cast<LPARAM>(m_hWnd));
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        m_pressed = false;
        break;
    case WM_DESTROY:
        KillTimer(m_hWnd, kFrameTimer);
        if (m_tip) {
            DestroyWindow(m_tip);
            m_tip = nullptr;
        }
        break;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
