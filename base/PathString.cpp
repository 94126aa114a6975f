#include "base/PathString.h"

#include <shlwapi.h>

#include <cwctype>

namespace {

// The shell path functions assume an output of at least MAX_PATH characters;
// give them that even when the text is short.
size_t ShellBufferChars(size_t wanted)
{
    return wanted < MAX_PATH + 1 ? MAX_PATH + 1 : wanted;
}

bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

} // namespace

CPathString::CPathString(const wchar_t* text, uint32_t flags)
    : m_text(text ? text : L"")
{
    Clean(flags);
}

CPathString::CPathString(const std::wstring& text, uint32_t flags)
    : m_text(text)
{
    Clean(flags);
}

CPathString& CPathString::operator=(const wchar_t* text)
{
    m_text = text ? text : L"";
    return *this;
}

CPathString& CPathString::operator=(const std::wstring& text)
{
    m_text = text;
    return *this;
}

void CPathString::TrimToTerminator()
{
    m_text.resize(wcslen(m_text.c_str()));
}

CPathString& CPathString::Clean(uint32_t flags)
{
    if (flags & CLEAN_REMOVE_ARGS) {
        if (flags & CLEAN_TRIM) {
            size_t start = 0;
            while (start < m_text.size() && iswspace(m_text[start]))
                ++start;
            m_text.erase(0, start);
        }
        RemoveArgs();
    }
    if (flags & CLEAN_ICON_LOCATION)
        RemoveIconIndex();
    if (flags & CLEAN_TRIM)
        Trim();
    if (flags & CLEAN_UNQUOTE) {
        Unquote();
        if (flags & CLEAN_TRIM_QUOTED)
            Trim();
    }
    if (flags & CLEAN_EXPAND_ENV)
        ExpandEnvironment();
    if (flags & CLEAN_CANONICALIZE)
        Canonicalize();
    if (flags & CLEAN_STRIP_LONG_PREFIX)
        StripLongPrefix();
    if (flags & CLEAN_SLASHES)
        SlashesToBackslashes();
    if (flags & CLEAN_MAKE_PRETTY)
        MakePretty();
    return *this;
}

CPathString& CPathString::Trim()
{
    if (!m_text.empty() && iswspace(m_text.front())) {
        size_t start = 0;
        while (start < m_text.size() && iswspace(m_text[start]))
            ++start;
        m_text.erase(0, start);
    }
    if (!m_text.empty() && iswspace(m_text.back())) {
        size_t end = m_text.size();
        while (end > 0 && iswspace(m_text[end - 1]))
            --end;
        m_text.resize(end);
    }
    return *this;
}

CPathString& CPathString::Unquote()
{
    if (!m_text.empty() && m_text.front() == L'"' && m_text.back() == L'"') {
        if (m_text.size() == 1)
            m_text.clear();
        else
            m_text = m_text.substr(1, m_text.size() - 2);
    }
    return *this;
}

CPathString& CPathString::Canonicalize()
{
    if (m_text.find(L"\\.") == std::wstring::npos)
        return *this;
    std::wstring out(ShellBufferChars(m_text.size() + 2), L'\0');
    if (PathCanonicalizeW(&out[0], m_text.c_str())) {
        out.resize(wcslen(out.c_str()));
        m_text.swap(out);
    }
    return *this;
}

CPathString& CPathString::StripLongPrefix()
{
    if (m_text.size() < 6 || m_text.compare(0, 4, L"\\\\?\\") != 0)
        return *this;
    if (IsAsciiLetter(m_text[4]) && m_text[5] == L':') {
        m_text.erase(0, 4);
    } else if (m_text.size() >= 8 && _wcsnicmp(m_text.c_str() + 4, L"UNC\\", 4) == 0) {
        // Keep the two leading backslashes: \\?\UNC\srv\s becomes \\srv\s.
        m_text.erase(2, 6);
    }
    return *this;
}

int CPathString::SlashesToBackslashes()
{
    int replaced = 0;
    for (wchar_t& c : m_text) {
        if (c == L'/') {
            c = L'\\';
            ++replaced;
        }
    }
    return replaced;
}

CPathString& CPathString::MakePretty()
{
    if (!m_text.empty()) {
        PathMakePrettyW(&m_text[0]);
        TrimToTerminator();
    }
    return *this;
}

CPathString& CPathString::RemoveArgs()
{
    if (!m_text.empty()) {
        PathRemoveArgsW(&m_text[0]);
        TrimToTerminator();
    }
    return *this;
}

CPathString& CPathString::RemoveIconIndex()
{
    if (!m_text.empty()) {
        PathParseIconLocationW(&m_text[0]);
        TrimToTerminator();
    }
    return *this;
}

CPathString& CPathString::ExpandEnvironment()
{
    DWORD capacity = static_cast<DWORD>(m_text.size() + 1);
    // The environment may grow between the calls; a few rounds suffice.
    for (int round = 0; round < 4; ++round) {
        std::wstring out(capacity, L'\0');
        DWORD needed = ExpandEnvironmentStringsW(m_text.c_str(), &out[0], capacity);
        if (needed == 0)
            return *this;
        if (needed <= capacity) {
            out.resize(wcslen(out.c_str()));
            m_text.swap(out);
            return *this;
        }
        capacity = needed;
    }
    return *this;
}

CPathString& CPathString::AddBackslash()
{
    if (!m_text.empty() && m_text.back() == L'\\')
        return *this;
    std::wstring out(m_text);
    out.resize(ShellBufferChars(m_text.size() + 2), L'\0');
    if (PathAddBackslashW(&out[0])) {
        out.resize(wcslen(out.c_str()));
        m_text.swap(out);
    }
    return *this;
}

CPathString& CPathString::Append(const wchar_t* component)
{
    if (!component || !*component)
        return AddBackslash();
    std::wstring out(m_text);
    out.resize(ShellBufferChars(m_text.size() + wcslen(component) + 2), L'\0');
    if (PathAppendW(&out[0], component)) {
        out.resize(wcslen(out.c_str()));
        m_text.swap(out);
    }
    return *this;
}

CPathString CPathString::Combine(const CPathString& path, const wchar_t* component)
{
    CPathString result(path);
    result.Append(component);
    return result;
}

CPathString CPathString::FolderOf(const CPathString& path)
{
    const wchar_t* text = path.c_str();
    const wchar_t* name = PathFindFileNameW(text);
    size_t prefix = name ? static_cast<size_t>(name - text) : path.length();
    return CPathString(path.str().substr(0, prefix), CLEAN_DEFAULT);
}

CPathString CPathString::ModulePath()
{
    wchar_t buffer[MAX_PATH + 2] = {};
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH + 1);
    // A result that fills the buffer is cut short and would name some other
    // file; treat it as a failure.
    if (length == 0 || length > MAX_PATH)
        return CPathString();
    return CPathString(buffer, CLEAN_DEFAULT);
}

bool CPathString::GetAttributes(const CPathString& path, WIN32_FILE_ATTRIBUTE_DATA* data)
{
    if (!data)
        return false;
    ZeroMemory(data, sizeof(*data));
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, data) != 0;
}

std::wstring CPathString::ProgramFolder(const std::wstring& chosen)
{
    CPathString folder = chosen.empty() ? FolderOf(ModulePath()) : CPathString(chosen);
    if (!folder.empty())
        folder.AddBackslash();
    return folder.str();
}
