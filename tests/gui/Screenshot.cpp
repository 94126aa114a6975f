#include "gui/Screenshot.h"

#include "base/Handles.h"

#include <vector>

namespace gui {

std::wstring ScreenshotPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"HM_SCREENSHOT_DIR", dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    std::wstring path(dir, n);
    // The script hands over a Linux path; Wine maps it through drive Z:.
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    CreateDirectoryW(path.c_str(), nullptr);
    if (path.back() != L'\\')
        path += L'\\';
    return path + name;
}

bool SaveWindowBitmap(HWND hwnd, const std::wstring& path)
{
    RECT rc;
    if (!GetWindowRect(hwnd, &rc))
        return false;
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0)
        return false;

    // Copy from the screen: the window is on top and shows its real frame.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    ui::CBitmap bitmap(CreateCompatibleBitmap(screen, width, height));
    HGDIOBJ old = SelectObject(memory, bitmap.Get());
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height; // bottom-up, as BMP files store it
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    int rows = copied ? GetDIBits(memory, bitmap.Get(), 0, height, pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS)
                      : 0;
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    header.biSizeImage = static_cast<DWORD>(pixels.size());

    ui::CHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(out.Get(), &file, sizeof(file), &written, nullptr) && written == sizeof(file) &&
              WriteFile(out.Get(), &header, sizeof(header), &written, nullptr) && written == sizeof(header) &&
              WriteFile(out.Get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr) &&
              written == pixels.size();
    return ok;
}

bool SaveScreenshot(HWND hwnd, const wchar_t* name)
{
    std::wstring path = ScreenshotPath(name);
    return path.empty() || SaveWindowBitmap(hwnd, path);
}

} // namespace gui
