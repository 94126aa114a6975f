// CConfig: the user's settings (kept in the current user's registry key
// "Software\Harrowmere"), the autorun entry under the Windows "Run" key, and
// the read-only settings file "Harrowmere.cfg" beside the program, which names
// the update service and the promotion feed.
#pragma once

#include "base/Product.h"
#include "base/Singleton.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Where the settings live. The defaults are the real places; tests point
// them at a scratch key and a scratch folder.
struct ConfigPlaces {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring settingsKey = HM_SETTINGS_KEY;
    std::wstring runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    // Folder of "Harrowmere.exe" and "Harrowmere.cfg", with or without a
    // final backslash; empty means the running program's folder.
    std::wstring programFolder;
};

// A 32-bit setting that one thread counts while another saves it: every read
// and write of it is one atomic step, so no count is lost and a save writes
// a value that was really held.
class CSharedCount {
public:
    explicit CSharedCount(uint32_t value = 0) : m_value(value) {}
    CSharedCount(const CSharedCount& other) : m_value(other.m_value.load()) {}
    CSharedCount& operator=(const CSharedCount& other)
    {
        m_value.store(other.m_value.load());
        return *this;
    }
    CSharedCount& operator=(uint32_t value)
    {
        m_value.store(value);
        return *this;
    }
    operator uint32_t() const { return m_value.load(); }
    uint32_t operator++() { return ++m_value; }
    uint32_t operator++(int) { return m_value++; }

private:
    std::atomic<uint32_t> m_value;
};

// The settings a window changes. WM_SETTINGS_CHANGED carries one of these
// in wParam to every listening page.
enum class Setting : WPARAM { Hook, AutoUpdate, ShowRunInfo, ShowInfo, HotKey, Autorun };

class CConfig : public CSingleton<CConfig> {
public:
    // The settings, each stored as a REG_DWORD of the same name. The
    // in-memory record is the authority; Save writes all of them at once.
    uint32_t Hook = 1;        // monitoring on (1) or off (0)
    uint32_t AutoUpdate = 1;  // automatic update check on (1) or off (0)
    uint32_t ShowRunInfo = 1; // balloon saying the program runs
    uint32_t ShowInfo = 1;    // monitoring balloon for logged requests
    CSharedCount BlockCount;  // requests decided so far: counted by the request thread
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

    // The autorun entry's state (the codes are fixed): on when the value
    // holds AutorunCommand(), or the same without the quotes as earlier
    // versions wrote it (letter case aside).
    enum AutorunState : int {
        AUTORUN_ON = 0,
        AUTORUN_OFF = -1,        // no Run key, or the value differs
        AUTORUN_UNREADABLE = -2, // the value is missing or is not a text
    };
    AutorunState IsAutorun() const;
    // Whether autorun is on (IsAutorun() == AUTORUN_ON).
    bool AutorunOn() const { return IsAutorun() == AUTORUN_ON; }
    // Writes (on) or deletes (off) the autorun value and tells the listeners
    // (Setting::Autorun). 0, or -1 when the Run key can neither be opened nor
    // created.
    int SetAutorun(bool on);
    // The autorun text: "Harrowmere.exe" in the program folder, in quotes,
    // then " /background".
    std::wstring AutorunCommand() const;

    // Whether the user wants monitoring ("Hook" is 1; any other value is off).
    bool MonitoringWanted() const { return Hook == 1; }

    // Changing a setting from a window (main thread): the value is set and
    // saved with the whole record, and every listener is sent
    // WM_SETTINGS_CHANGED with the setting, also when the value stays (the
    // monitoring switch starts a link that failed, say). For Hook,
    // AutoUpdate, ShowRunInfo and ShowInfo.
    void Set(Setting setting, uint32_t value);
    // Switches a 0/1 setting: 1 becomes 0, any other value 1 (it shows as off).
    void Toggle(Setting setting);
    // The hot key that applied: its virtual key and the hot-key control's
    // modifier flags; saved, and Setting::HotKey told.
    void SetHotKey(uint32_t virtualKey, uint32_t flags);
    // The pages that show settings listen while their window exists.
    void AddListener(HWND window);
    void RemoveListener(HWND window);

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
    uint32_t* Field(Setting setting);
    void Notify(Setting setting);

    ConfigPlaces m_places;
    std::vector<HWND> m_listeners; // main thread only
};
