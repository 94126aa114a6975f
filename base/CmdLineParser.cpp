#include "base/CmdLineParser.h"

#include <windows.h>

CCmdLineParser::CCmdLineParser(const wchar_t* commandLine, bool caseSensitive)
    : m_commandLine(commandLine ? commandLine : L"")
    , m_caseSensitive(caseSensitive)
{
    Parse();
}

std::wstring CCmdLineParser::Key(const std::wstring& name) const
{
    std::wstring key(name);
    if (!m_caseSensitive && !key.empty())
        CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

void CCmdLineParser::Store(const std::wstring& name, const std::wstring& value)
{
    if (!name.empty())
        m_switches[Key(name)] = value;
}

void CCmdLineParser::Parse()
{
    const std::wstring& line = m_commandLine;
    size_t pos = 0;
    for (;;) {
        size_t mark = line.find_first_of(L"-/", pos);
        if (mark == std::wstring::npos || mark + 1 >= line.size())
            return;
        size_t nameStart = mark + 1;
        size_t delim = line.find_first_of(L" :", nameStart);
        if (delim == std::wstring::npos) {
            Store(line.substr(nameStart), std::wstring());
            return;
        }
        std::wstring name = line.substr(nameStart, delim - nameStart);
        if (line[delim] == L':' && delim + 1 < line.size()) {
            size_t valueStart = delim + 1;
            wchar_t closer = L' ';
            if (line[valueStart] == L'"') {
                closer = L'"';
                ++valueStart;
            }
            size_t valueEnd = line.find(closer, valueStart);
            if (valueEnd == std::wstring::npos) {
                Store(name, line.substr(valueStart));
                return;
            }
            Store(name, line.substr(valueStart, valueEnd - valueStart));
            pos = valueEnd + 1;
        } else {
            Store(name, std::wstring());
            pos = delim + 1;
        }
    }
}

bool CCmdLineParser::HasKey(const wchar_t* name) const
{
    return name && m_switches.count(Key(name)) != 0;
}

bool CCmdLineParser::GetValue(const wchar_t* name, std::wstring* value) const
{
    if (!name)
        return false;
    auto found = m_switches.find(Key(name));
    if (found == m_switches.end())
        return false;
    if (value)
        *value = found->second;
    return true;
}
