// CConfig: the user's settings (kept in the current user's registry key
// "Software\Harrowmere"), the autorun entry under the Windows "Run" key, and
// the read-only settings file "Harrowmere.cfg" beside the program, which names
// the update service and the promotion feed.
#pragma once

#include "base/Singleton.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Where the settings live. The defaults are the real places; tests point
// them at a scratch key and a scratch folder.
struct ConfigPlaces {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring settingsKey = L"Software\\Harrowmere";
    std::wstring runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    // Folder of "Harrowmere.exe" and "Harrowmere.cfg", with or without a
    // final backslash; empty means the running program's folder.
    std::wstring programFolder;
};

class CConfig : public CSingleton<CConfig> {
public:
    // The settings, each stored as a REG_DWORD of the same name. The
    // in-memory record is the authority; Save writes all of them at once.
    uint32_t Hook = 1;        // monitoring on (1) or off (0)
    uint32_t AutoUpdate = 1;  // automatic update check on (1) or off (0)
    uint32_t ShowRunInfo = 1; // balloon saying the program runs
    uint32_t ShowInfo = 1;    // monitoring balloon for logged requests
    uint32_t BlockCount = 0;  // requests decided so far
    uint32_t HotKey = 123;    // virtual key of the hot key in the low byte (F12)
    uint32_t SystemKey = 6;   // hot key modifiers: 1 Shift, 2 Ctrl, 4 Alt

    CConfig() = default;
    explicit CConfig(const ConfigPlaces& places) : m_places(places) {}
    ~CConfig() override = default;

    // Reads the settings, creating the key when it is missing. A value that
    // is missing or not a 4-byte REG_DWORD leaves its field as it was.
    // 0, or -1 when the key can neither be opened nor created.
    int Load();
    // Writes all seven settings. 0, or -1 when the key can neither be opened
    // nor created.
    int Save();
    // Writes "BlockCount" alone: what the request thread saves after
    // decisions. 0, or -1 as Save.
    int SaveBlockCount();

    // 0 when the autorun value holds AutorunCommand(), or the same without
    // the quotes as earlier versions wrote it (letter case aside);
    // -1 when the Run key cannot be opened or the value differs; -2 when the
    // value is missing or is not a text.
    int IsAutorun() const;
    // Writes (on) or deletes (off) the autorun value. 0, or -1 when the Run
    // key can neither be opened nor created.
    int SetAutorun(bool on);
    // The autorun text: "Harrowmere.exe" in the program folder, in quotes,
    // then " /background".
    std::wstring AutorunCommand() const;

    // The "Url" attribute of the "Update" (update service) or "AD"
    // (promotion feed) element of "Harrowmere.cfg". 0 with the address in
    // out; -1 the file cannot be read or parsed; -2 it has no element; -3 its
    // first element is not "Harrowmere"; -4 no such child element; -5 the
    // child has no "Url".
    int GetUpdateUrl(std::wstring& out) const;
    int GetFeedUrl(std::wstring& out) const;

    // The program folder in use, with a final backslash.
    std::wstring ProgramFolder() const;
    // Where the settings live (the settings key also holds "LastUpdateTime").
    const ConfigPlaces& Places() const { return m_places; }

private:
    int GetConfigUrl(const char* element, std::wstring& out) const;

    ConfigPlaces m_places;
};
