#include "base/TextConv.h"

#include <windows.h>

namespace {

std::wstring ToWide(UINT codePage, const char* text, int len)
{
    if (!text)
        return std::wstring();
    if (len < 0)
        len = lstrlenA(text);
    if (len == 0)
        return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text, len, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, len, &out[0], n);
    return out;
}

std::string ToNarrow(UINT codePage, const wchar_t* text, int len)
{
    if (!text)
        return std::string();
    if (len < 0)
        len = lstrlenW(text);
    if (len == 0)
        return std::string();
    int n = WideCharToMultiByte(codePage, 0, text, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text, len, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

std::wstring AnsiToWide(const char* text, int len) { return ToWide(CP_ACP, text, len); }
std::string WideToAnsi(const wchar_t* text, int len) { return ToNarrow(CP_ACP, text, len); }
std::wstring Utf8ToWide(const char* text, int len) { return ToWide(CP_UTF8, text, len); }
std::string WideToUtf8(const wchar_t* text, int len) { return ToNarrow(CP_UTF8, text, len); }

bool WideToAnsiExact(const std::wstring& text, std::string* out)
{
    if (text.empty()) {
        out->clear();
        return true;
    }
    const int len = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), len, nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), len, &narrow[0], n, nullptr, &usedDefault);
    if (usedDefault)
        return false;
    *out = std::move(narrow);
    return true;
}
