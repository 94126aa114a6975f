#include "controls/TrayIconPosition.h"

#include "base/Handles.h"

#include <shellapi.h>
#include <commctrl.h>

#include <ctime>
#include <cwchar>
#include <vector>

namespace {

// Rescan intervals in seconds of the precision modes 1, 2 and 3.
constexpr int64_t kRescanSeconds[] = { 60, 30, 10 };

// The shell repaints the icon in its own time after the image changed; the
// capture is repeated until the marker shows or this many tries are spent.
constexpr int kScanTries = 10;
constexpr DWORD kScanRetryMs = 40;

// Longest wait for one answer of the shell's toolbar: a hung shell must not
// hang the window that wants to show a balloon.
constexpr UINT kToolbarTimeoutMs = 500;

// Sends a message to the toolbar of another process; false when it did not
// answer in time (or is gone), else true with its result.
bool AskToolbar(HWND toolbar, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(toolbar, msg, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kToolbarTimeoutMs,
                             &answer))
        return false;
    *result = static_cast<LRESULT>(answer);
    return true;
}

struct FindChildData {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindByClassProc(HWND hwnd, LPARAM param)
{
    auto* data = reinterpret_cast<FindChildData*>(param);
    wchar_t name[64];
    if (GetClassNameW(hwnd, name, 64) && wcscmp(name, data->className) == 0) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// First top-level window (parent null) or first descendant of `parent`
// whose class is exactly `className`.
HWND FindByClass(HWND parent, const wchar_t* className)
{
    FindChildData data = { className, nullptr };
    if (parent)
        EnumChildWindows(parent, FindByClassProc, reinterpret_cast<LPARAM>(&data));
    else
        EnumWindows(FindByClassProc, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

// The marker: a small icon that is black all over (both masks zero), made
// here so that the locator needs no resource of the program's.
HICON MakeMarkerIcon()
{
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    const std::vector<BYTE> zeros(static_cast<size_t>((cx + 15) / 16 * 2 * cy), 0);
    return CreateIcon(nullptr, cx, cy, 1, 1, zeros.data(), zeros.data());
}

// True when `process` runs as a 64-bit process. IsWow64Process is looked up
// by name: systems before XP do not have it (and are all 32-bit).
bool ProcessIs64Bit(HANDLE process)
{
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL otherWow = FALSE;
    if (isWow64)
        isWow64(process, &otherWow);
#ifdef _WIN64
    return !otherWow;
#else
    BOOL selfWow = FALSE;
    if (isWow64)
        isWow64(GetCurrentProcess(), &selfWow);
    return selfWow && !otherWow; // a 64-bit system runs us under WOW64
#endif
}

// Memory reserved in another process for the toolbar to write into.
class CRemoteBuffer {
public:
    CRemoteBuffer(HANDLE process, SIZE_T size)
        : m_process(process),
          m_address(VirtualAllocEx(process, nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)) {}
    ~CRemoteBuffer() { if (m_address) VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE); }
    CRemoteBuffer(const CRemoteBuffer&) = delete;
    CRemoteBuffer& operator=(const CRemoteBuffer&) = delete;
    void* Address() const { return m_address; }

private:
    HANDLE m_process;
    void* m_address;
};

bool ReadExactly(HANDLE process, uint64_t address, void* buffer, size_t size)
{
#ifndef _WIN64
    // A 32-bit reader cannot name addresses above 4 GB of a 64-bit shell.
    if (address > 0xFFFFFFFFull)
        return false;
#endif
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), buffer,
                             size, &read) && read == size;
}

} // namespace

CTrayIconPosition::CTrayIconPosition()
{
    m_version.dwOSVersionInfoSize = sizeof(m_version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&m_version);
#pragma GCC diagnostic pop
}

CTrayIconPosition::CTrayIconPosition(HWND owner, int id, HICON restoreIcon, int precision)
    : CTrayIconPosition()
{
    SetIcon(owner, id, restoreIcon);
    m_precision = precision;
}

CTrayIconPosition::~CTrayIconPosition() = default;

void CTrayIconPosition::SetIcon(HWND owner, int id, HICON restoreIcon)
{
    m_owner = owner;
    m_id = id;
    m_restoreIcon = restoreIcon;
}

int CTrayIconPosition::GetTrayIconPosition(POINT* point)
{
    if (!m_owner || m_id == -1)
        return -1;
    RECT button;
    if (FindIconByToolbar(m_owner, m_id, &button) == 1) {
        point->x = button.left + 4;
        point->y = button.top + 6;
        return 1;
    }
    return FindIconByPixels(point);
}

TRAY_WINDOWS CTrayIconPosition::FindTrayWindows()
{
    TRAY_WINDOWS w = {};
    w.shellTray = FindByClass(nullptr, L"Shell_TrayWnd");
    if (w.shellTray)
        w.notify = FindByClass(w.shellTray, L"TrayNotifyWnd");
    if (w.notify)
        w.toolbar = FindByClass(w.notify, L"ToolbarWindow32");
    return w;
}

RECT CTrayIconPosition::GetTrayAreaRect()
{
    TRAY_WINDOWS w = m_lookup ? m_lookup() : FindTrayWindows();
    return TrayAreaRect(w, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

int CTrayIconPosition::FindIconByToolbar(HWND owner, int id, RECT* rect)
{
    TRAY_WINDOWS w = m_lookup ? m_lookup() : FindTrayWindows();
    HWND toolbar = w.toolbar ? w.toolbar : w.notify;
    if (!toolbar)
        return 0;

    DWORD pid = 0;
    GetWindowThreadProcessId(toolbar, &pid);
    ui::CHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                    PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process)
        return 0;
    const bool shell64 = ProcessIs64Bit(process.Get());
    LRESULT count = 0;
    if (!AskToolbar(toolbar, TB_BUTTONCOUNT, 0, 0, &count))
        return 0;
    CRemoteBuffer remote(process.Get(), sizeof(TRAY_BUTTON64));
    if (!remote.Address() || count <= 0)
        return 0;

    const uint64_t remoteAddress = reinterpret_cast<uintptr_t>(remote.Address());
    for (int i = 0; i < static_cast<int>(count); ++i) {
        uint8_t button[sizeof(TRAY_BUTTON64)];
        uint8_t item[sizeof(TRAY_ITEM64)];
        LRESULT got = 0;
        if (!AskToolbar(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(remote.Address()), &got))
            return 0; // stopped answering: ask no more
        if (!got || !ReadExactly(process.Get(), remoteAddress, button, TrayButtonSize(shell64)))
            continue;
        TRAY_BUTTON_INFO info;
        ParseTrayButton(button, shell64, &info);
        if (!info.data || !ReadExactly(process.Get(), info.data, item, TrayItemSize(shell64)) ||
            !TrayItemMatches(item, shell64, owner, static_cast<UINT>(id)))
            continue;
        if (info.state & TBSTATE_HIDDEN)
            break; // in the overflow: not on the screen
        RECT r;
        if (!AskToolbar(toolbar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(remote.Address()), &got))
            return 0;
        if (!got || !ReadExactly(process.Get(), remoteAddress, &r, sizeof(r)))
            break;
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
        *rect = r;
        return 1;
    }
    *rect = GetTrayAreaRect();
    return 0;
}

int CTrayIconPosition::FindIconByPixels(POINT* point)
{
    const int64_t now = m_clock ? m_clock() : static_cast<int64_t>(_time64(nullptr));
    // Without an image to put back a scan would leave the marker showing.
    if (m_precision < 1 || m_precision > 3 || !m_restoreIcon) {
        // No scan allowed: only an earlier scan of this object could answer.
        if (m_scanCount > 0 && m_lastScan != 0) {
            *point = m_position;
            return 1;
        }
        *point = TrayAreaEstimate(GetTrayAreaRect(), NtAfterVersion4());
        return 0;
    }
    auto since = [now](int64_t then) { return now > then ? now - then : then - now; };
    const int64_t interval = kRescanSeconds[m_precision - 1];
    if (since(m_lastScan) > interval) {
        // A scan that failed is not repeated before the interval has passed:
        // each one costs the retries of ScanForIconPixels.
        if (m_scanFailed && since(m_lastFailedScan) <= interval) {
            *point = TrayAreaEstimate(m_area, NtAfterVersion4());
            return 0;
        }
        m_area = GetTrayAreaRect();
        HICON marker = MakeMarkerIcon();
        const int found = ScanForIconPixels(marker);
        if (marker)
            DestroyIcon(marker);
        m_scanFailed = !found;
        if (!found) {
            m_lastFailedScan = now;
            *point = TrayAreaEstimate(m_area, NtAfterVersion4());
            return 0;
        }
        m_lastScan = now;
    }
    *point = m_position;
    return 1;
}

int CTrayIconPosition::ScanForIconPixels(HICON icon)
{
    if (IsRectEmpty(&m_area))
        m_area = GetTrayAreaRect();
    ++m_scanCount;
    SetNotifyImage(icon);
    POINT found;
    bool ok = false;
    for (int attempt = 0; attempt < kScanTries && !ok; ++attempt) {
        if (attempt)
            Sleep(kScanRetryMs);
        ok = CaptureAndFind(m_area, &found);
    }
    SetNotifyImage(m_restoreIcon);
    if (!ok)
        return 0;
    m_position.x = m_area.left + found.x;
    m_position.y = m_area.top + found.y;
    return 1;
}

void CTrayIconPosition::SetNotifyImage(HICON icon) const
{
    if (!icon || !m_owner)
        return;
    NOTIFYICONDATAW nid = {};
    nid.cbSize = sizeof(nid);
    nid.hWnd = m_owner;
    nid.uID = static_cast<UINT>(m_id);
    nid.uFlags = NIF_ICON;
    nid.hIcon = icon;
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

// Copies the area's screen pixels into a DIB section once and searches the
// copy: reading the screen pixel by pixel costs a round trip each.
bool CTrayIconPosition::CaptureAndFind(const RECT& area, POINT* found) const
{
    const int cx = area.right - area.left, cy = area.bottom - area.top;
    if (cx <= 0 || cy <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    bool ok = false;
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy; // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ui::CBitmap dib(CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (mem && dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib.Get());
        if (BitBlt(mem, 0, 0, cx, cy, screen, area.left, area.top, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            PIXEL_BLOCK block = { static_cast<const uint32_t*>(bits), cx, cy, cx };
            ok = FindMarkerPixels(block, found);
        }
        SelectObject(mem, old);
    }
    if (mem)
        DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool CTrayIconPosition::NtAfterVersion4() const
{
    return m_version.dwPlatformId == VER_PLATFORM_WIN32_NT && m_version.dwMajorVersion > 4;
}
