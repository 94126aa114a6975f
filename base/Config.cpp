#include "base/Config.h"

#include "base/Messages.h"
#include "base/PathString.h"
#include "base/Registry.h"
#include "base/TextConv.h"
#include "base/XmlFile.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>

namespace {

const REGSAM kKeyAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
const wchar_t kAutorunValue[] = L"Harrowmere";
const wchar_t kProgramFile[] = L"Harrowmere.exe";
const wchar_t kConfigFile[] = L"Harrowmere.cfg";

std::wstring ProgramFileIn(const std::wstring& folder)
{
    CPathString program(folder);
    program.Append(kProgramFile);
    return program.str();
}

} // namespace

int CConfig::Load()
{
    CRegKey key;
    if (key.Create(m_places.root, m_places.settingsKey.c_str(), kKeyAccess) != 0)
        return -1;
    // A value of another type (a text "1" that someone wrote by hand, say)
    // is not a setting: QueryDword leaves the field alone for it.
    key.QueryDword(L"AutoUpdate", &AutoUpdate);
    key.QueryDword(L"Hook", &Hook);
    key.QueryDword(L"ShowRunInfo", &ShowRunInfo);
    key.QueryDword(L"ShowInfo", &ShowInfo);
    uint32_t count = BlockCount;
    if (key.QueryDword(L"BlockCount", &count) == 0)
        BlockCount = count;
    key.QueryDword(L"HotKey", &HotKey);
    key.QueryDword(L"SystemKey", &SystemKey);
    return 0;
}

int CConfig::Save()
{
    CRegKey key;
    if (key.Create(m_places.root, m_places.settingsKey.c_str(), kKeyAccess) != 0)
        return -1;
    key.SetDword(L"AutoUpdate", AutoUpdate);
    key.SetDword(L"Hook", Hook);
    key.SetDword(L"ShowRunInfo", ShowRunInfo);
    key.SetDword(L"ShowInfo", ShowInfo);
    key.SetDword(L"BlockCount", BlockCount);
    key.SetDword(L"HotKey", HotKey);
    key.SetDword(L"SystemKey", SystemKey);
    return 0;
}

int CConfig::SaveBlockCount()
{
    CRegKey key;
    if (key.Create(m_places.root, m_places.settingsKey.c_str(), kKeyAccess) != 0)
        return -1;
    key.SetDword(L"BlockCount", BlockCount);
    return 0;
}

std::wstring CConfig::ProgramFolder() const
{
    return CPathString::ProgramFolder(m_places.programFolder);
}

std::wstring CConfig::AutorunCommand() const
{
    // Quoted: the system splits an unquoted command line at its first blank
    // and would try "C:\Program.exe" before the program in "Program Files".
    return L"\"" + ProgramFileIn(ProgramFolder()) + L"\" /background";
}

CConfig::AutorunState CConfig::IsAutorun() const
{
    CRegKey key;
    if (key.Open(m_places.root, m_places.runKey.c_str(), kKeyAccess) != 0)
        return AUTORUN_OFF;
    std::wstring value;
    if (key.QueryString(kAutorunValue, &value) != 0)
        return AUTORUN_UNREADABLE;
    // Earlier versions wrote the path unquoted; such an entry still counts as
    // on, and switching autorun off and on again writes the quoted one.
    const std::wstring unquoted = ProgramFileIn(ProgramFolder()) + L" /background";
    return lstrcmpiW(value.c_str(), AutorunCommand().c_str()) == 0 || lstrcmpiW(value.c_str(), unquoted.c_str()) == 0
               ? AUTORUN_ON
               : AUTORUN_OFF;
}

int CConfig::SetAutorun(bool on)
{
    CRegKey key;
    if (key.Create(m_places.root, m_places.runKey.c_str(), kKeyAccess) != 0)
        return -1;
    if (on)
        key.SetString(kAutorunValue, AutorunCommand());
    else
        key.DeleteValue(kAutorunValue);
    key.Close();
    Notify(Setting::Autorun);
    return 0;
}

uint32_t* CConfig::Field(Setting setting)
{
    switch (setting) {
    case Setting::Hook:
        return &Hook;
    case Setting::AutoUpdate:
        return &AutoUpdate;
    case Setting::ShowRunInfo:
        return &ShowRunInfo;
    case Setting::ShowInfo:
        return &ShowInfo;
    default:
        return nullptr;
    }
}

void CConfig::Set(Setting setting, uint32_t value)
{
    uint32_t* field = Field(setting);
    if (!field)
        return;
    *field = value;
    Save();
    Notify(setting);
}

void CConfig::Toggle(Setting setting)
{
    if (const uint32_t* field = Field(setting))
        Set(setting, *field == 1 ? 0 : 1);
}

void CConfig::SetHotKey(uint32_t virtualKey, uint32_t flags)
{
    HotKey = virtualKey;
    SystemKey = flags;
    Save();
    Notify(Setting::HotKey);
}

void CConfig::AddListener(HWND window)
{
    if (window && std::find(m_listeners.begin(), m_listeners.end(), window) == m_listeners.end())
        m_listeners.push_back(window);
}

void CConfig::RemoveListener(HWND window)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), window), m_listeners.end());
}

void CConfig::Notify(Setting setting)
{
    // A listener may stop listening while it is told.
    const std::vector<HWND> listeners = m_listeners;
    for (HWND window : listeners)
        if (IsWindow(window))
            SendMessageW(window, WM_SETTINGS_CHANGED, static_cast<WPARAM>(setting), 0);
}

int CConfig::GetConfigUrl(const char* element, std::wstring& out) const
{
    CPathString path(ProgramFolder());
    path.Append(kConfigFile);
    TiXmlDocument document;
    if (!LoadXmlFile(&document, path.str().c_str()))
        return -1;
    const TiXmlElement* root = document.FirstChildElement();
    if (!root)
        return -2;
    if (std::strcmp(root->Value(), "Harrowmere") != 0)
        return -3;
    const TiXmlElement* child = root->FirstChildElement(element);
    if (!child)
        return -4;
    const char* url = child->Attribute("Url");
    if (!url)
        return -5;
    out = AnsiToWide(url);
    return 0;
}

int CConfig::GetUpdateUrl(std::wstring& out) const
{
    return GetConfigUrl("Update", out);
}

int CConfig::GetFeedUrl(std::wstring& out) const
{
    return GetConfigUrl("AD", out);
}
