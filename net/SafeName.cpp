#include "net/SafeName.h"

#include <cwctype>

namespace {

const size_t kMaxNameChars = 255;

bool IsForbiddenChar(wchar_t c)
{
    if (c < 0x20)
        return true;
    switch (c) {
    case L'\\':
    case L'/':
    case L':':
    case L'*':
    case L'?':
    case L'"':
    case L'<':
    case L'>':
    case L'|':
        return true;
    default:
        return false;
    }
}

std::wstring Upper(const std::wstring& s)
{
    std::wstring out(s);
    for (wchar_t& c : out)
        c = static_cast<wchar_t>(std::towupper(c));
    return out;
}

// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 name devices whatever extension
// follows them, and the system drops blanks before the extension ("NUL .txt"
// is NUL). Superscript one to three count as port digits too.
bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = Upper(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0))
        return false;
    const wchar_t digit = stem[3];
    return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

} // namespace

bool IsPlainFileName(const std::wstring& name)
{
    if (name.empty() || name.size() > kMaxNameChars)
        return false;
    for (wchar_t c : name)
        if (IsForbiddenChar(c))
            return false;
    // "." and ".." name folders; a final dot or blank is dropped by the
    // system, so "a." would be "a" and "..." the folder itself.
    const wchar_t last = name.back();
    if (last == L'.' || last == L' ')
        return false;
    return !IsDeviceName(name);
}

bool IsRelativeFolder(const std::wstring& folder)
{
    if (folder.empty())
        return true;
    size_t start = 0;
    while (start < folder.size()) {
        size_t end = folder.find(L'\\', start);
        if (end == std::wstring::npos)
            end = folder.size();
        // An empty part is a leading backslash, a doubled one (UNC) or the
        // start of an absolute path.
        if (!IsPlainFileName(folder.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}
