// CCmdLineParser: the switches of a command line ("/name", "-name",
// "/name:value", "/name:\"quoted value\""). The whole line is parsed, the
// program path included, so a "-" or "/" inside the path starts a switch too;
// the real switches are still found after it.
#pragma once

#include <map>
#include <string>

class CCmdLineParser {
public:
    // Parses commandLine (null counts as empty). Unless caseSensitive, names
    // are lower-cased when stored and when looked up.
    explicit CCmdLineParser(const wchar_t* commandLine, bool caseSensitive = false);

    // Whether the switch is present (with or without a value).
    bool HasKey(const wchar_t* name) const;
    // The switch's value (empty for a switch without one); false when absent.
    bool GetValue(const wchar_t* name, std::wstring* value) const;

    const std::wstring& CommandLine() const { return m_commandLine; }
    // Switch names in order, each with its value.
    const std::map<std::wstring, std::wstring>& Switches() const { return m_switches; }

private:
    void Parse();
    void Store(const std::wstring& name, const std::wstring& value);
    std::wstring Key(const std::wstring& name) const;

    std::wstring m_commandLine;
    std::map<std::wstring, std::wstring> m_switches;
    bool m_caseSensitive;
};
