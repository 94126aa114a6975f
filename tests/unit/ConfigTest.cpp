#include "base/Config.h"
#include "base/HotKey.h"
#include "base/Messages.h"
#include "base/Registry.h"
#include "base/TextConv.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every test works in its own scratch key under HKCU and its own folder, and
// removes both afterwards.
class Config : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
        m_scratchKey = L"Software\\HarrowmereUnitTest_" + unique;
        m_places.settingsKey = m_scratchKey + L"\\Settings";
        m_places.runKey = m_scratchKey + L"\\Run";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_config_" + unique;
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        m_places.programFolder = m_folder;
    }
    void TearDown() override
    {
        testreg::DeleteTree(HKEY_CURRENT_USER, m_scratchKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_scratchKey.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    bool KeyExists(const std::wstring& path)
    {
        CRegKey key;
        return key.Open(HKEY_CURRENT_USER, path.c_str(), KEY_READ) == 0;
    }

    void WriteRaw(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        CRegKey key;
        ASSERT_EQ(0, key.Create(HKEY_CURRENT_USER, keyPath.c_str(), KEY_ALL_ACCESS));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size));
    }

    void WriteConfigFile(const std::string& bytes)
    {
        std::ofstream out(std::filesystem::path(m_folder) / L"Harrowmere.cfg", std::ios::binary);
        out << bytes;
    }

    std::wstring m_scratchKey;
    std::wstring m_folder;
    ConfigPlaces m_places;
};

void ExpectDefaults(const CConfig& config)
{
    EXPECT_EQ(1u, config.Hook);
    EXPECT_EQ(1u, config.AutoUpdate);
    EXPECT_EQ(1u, config.ShowRunInfo);
    EXPECT_EQ(1u, config.ShowInfo);
    EXPECT_EQ(0u, config.BlockCount);
    EXPECT_EQ(123u, config.HotKey); // F12
    EXPECT_EQ(6u, config.SystemKey); // Ctrl+Alt
}

} // namespace

TEST_F(Config, FirstLoadCreatesTheKeyAndKeepsDefaults)
{
    ASSERT_FALSE(KeyExists(m_places.settingsKey));
    CConfig config(m_places);
    EXPECT_EQ(0, config.Load());
    EXPECT_TRUE(KeyExists(m_places.settingsKey));
    ExpectDefaults(config);
}

TEST_F(Config, SaveWritesEveryFieldAsDwordAndLoadReadsItBack)
{
    CConfig saved(m_places);
    saved.Hook = 0;
    saved.AutoUpdate = 0;
    saved.ShowRunInfo = 0;
    saved.ShowInfo = 0;
    saved.BlockCount = 300;
    saved.HotKey = 0x41;
    saved.SystemKey = 5;
    ASSERT_EQ(0, saved.Save());

    CRegKey key;
    ASSERT_EQ(0, key.Open(HKEY_CURRENT_USER, m_places.settingsKey.c_str(), KEY_READ));
    for (const wchar_t* name :
         {L"Hook", L"AutoUpdate", L"ShowRunInfo", L"ShowInfo", L"BlockCount", L"HotKey", L"SystemKey"}) {
        DWORD type = 0, size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size)) << name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << name;
        EXPECT_EQ(4u, size) << name;
    }

    CConfig loaded(m_places);
    ASSERT_EQ(0, loaded.Load());
    EXPECT_EQ(0u, loaded.Hook);
    EXPECT_EQ(0u, loaded.AutoUpdate);
    EXPECT_EQ(0u, loaded.ShowRunInfo);
    EXPECT_EQ(0u, loaded.ShowInfo);
    EXPECT_EQ(300u, loaded.BlockCount);
    EXPECT_EQ(0x41u, loaded.HotKey);
    EXPECT_EQ(5u, loaded.SystemKey);
}

TEST_F(Config, ValuesOfTheWrongTypeOrSizeLeaveTheFieldAlone)
{
    const wchar_t text[] = L"1"; // 4 bytes with its NUL: read raw it would be 49
    WriteRaw(m_places.settingsKey, L"Hook", REG_SZ, text, sizeof(text));
    const uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    WriteRaw(m_places.settingsKey, L"BlockCount", REG_BINARY, eight, sizeof(eight));
    const uint16_t two = 7;
    WriteRaw(m_places.settingsKey, L"HotKey", REG_DWORD, &two, sizeof(two));
    const DWORD good = 0;
    WriteRaw(m_places.settingsKey, L"ShowInfo", REG_DWORD, &good, sizeof(good));

    CConfig config(m_places);
    config.Hook = 0;
    config.BlockCount = 12;
    ASSERT_EQ(0, config.Load());
    EXPECT_EQ(0u, config.Hook);
    EXPECT_EQ(12u, config.BlockCount);
    EXPECT_EQ(123u, config.HotKey);
    EXPECT_EQ(0u, config.ShowInfo); // the well-formed value still counts
}

TEST_F(Config, UnusableRootReportsFailureAndKeepsTheRecord)
{
    ConfigPlaces broken = m_places;
    broken.root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    CConfig config(broken);
    config.BlockCount = 9;
    EXPECT_EQ(-1, config.Load());
    EXPECT_EQ(-1, config.Save());
    EXPECT_EQ(-1, config.IsAutorun());
    EXPECT_EQ(-1, config.SetAutorun(true));
    EXPECT_EQ(9u, config.BlockCount);
}

TEST_F(Config, AutorunCommandNamesTheFixedProgramFile)
{
    CConfig config(m_places);
    EXPECT_EQ(L"\"" + m_folder + L"\\Harrowmere.exe\" /background", config.AutorunCommand());
    ConfigPlaces withSlash = m_places;
    withSlash.programFolder = m_folder + L"\\";
    EXPECT_EQ(L"\"" + m_folder + L"\\Harrowmere.exe\" /background", CConfig(withSlash).AutorunCommand());
}

TEST_F(Config, AutorunStates)
{
    CConfig config(m_places);
    EXPECT_EQ(-1, config.IsAutorun()); // no Run key at all

    std::wstring command = config.AutorunCommand();
    WriteRaw(m_places.runKey, L"Other", REG_SZ, L"", 2);
    EXPECT_EQ(-2, config.IsAutorun()); // key but no value

    std::wstring upper = command;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    WriteRaw(m_places.runKey, L"Harrowmere", REG_SZ, upper.c_str(), static_cast<DWORD>(2 * upper.size() + 2));
    EXPECT_EQ(0, config.IsAutorun()); // letter case does not matter

    WriteRaw(m_places.runKey, L"Harrowmere", REG_EXPAND_SZ, command.c_str(),
             static_cast<DWORD>(2 * command.size() + 2));
    EXPECT_EQ(0, config.IsAutorun());

    std::wstring unquoted = m_folder + L"\\Harrowmere.exe /background"; // as earlier versions wrote it
    WriteRaw(m_places.runKey, L"Harrowmere", REG_SZ, unquoted.c_str(), static_cast<DWORD>(2 * unquoted.size() + 2));
    EXPECT_EQ(0, config.IsAutorun());

    std::wstring bare = L"\"" + m_folder + L"\\Harrowmere.exe\"";
    WriteRaw(m_places.runKey, L"Harrowmere", REG_SZ, bare.c_str(), static_cast<DWORD>(2 * bare.size() + 2));
    EXPECT_EQ(-1, config.IsAutorun()); // without " /background" it is off

    // The registry adds a forgotten NUL when one follows the data in memory;
    // a character that is not NUL keeps the value unterminated.
    std::wstring unterminated = command + L"X";
    WriteRaw(m_places.runKey, L"Harrowmere", REG_SZ, unterminated.c_str(), static_cast<DWORD>(2 * command.size()));
    EXPECT_EQ(-2, config.IsAutorun()); // no terminating NUL

    WriteRaw(m_places.runKey, L"Harrowmere", REG_SZ, command.c_str(), static_cast<DWORD>(2 * command.size() + 1));
    EXPECT_EQ(-2, config.IsAutorun()); // odd byte count

    DWORD number = 1;
    WriteRaw(m_places.runKey, L"Harrowmere", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(-2, config.IsAutorun());
}

TEST_F(Config, AutorunToggleWritesTheFullTextAndDeletesIt)
{
    CConfig config(m_places);
    std::wstring bare = L"\"" + m_folder + L"\\Harrowmere.exe\"";
    WriteRaw(m_places.runKey, L"Harrowmere", REG_SZ, bare.c_str(), static_cast<DWORD>(2 * bare.size() + 2));

    // The tray command: switch on exactly when the check says "not on".
    ASSERT_EQ(0, config.SetAutorun(config.IsAutorun() != 0));
    EXPECT_EQ(0, config.IsAutorun());
    CRegKey key;
    ASSERT_EQ(0, key.Open(HKEY_CURRENT_USER, m_places.runKey.c_str(), KEY_READ));
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), L"Harrowmere", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(2 * config.AutorunCommand().size() + 2, size);
    std::wstring stored;
    ASSERT_EQ(0, key.QueryString(L"Harrowmere", &stored));
    EXPECT_EQ(config.AutorunCommand(), stored);

    ASSERT_EQ(0, config.SetAutorun(config.IsAutorun() != 0));
    EXPECT_EQ(-2, config.IsAutorun());
    EXPECT_EQ(-1, key.QueryString(L"Harrowmere", &stored));
}

TEST_F(Config, SetAutorunCreatesAMissingRunKey)
{
    CConfig config(m_places);
    ASSERT_FALSE(KeyExists(m_places.runKey));
    EXPECT_EQ(0, config.SetAutorun(true));
    EXPECT_EQ(0, config.IsAutorun());
}

namespace {
class RegKey : public Config {};
}

TEST_F(RegKey, EnumeratesSubkeysAndValuesWithTheirRawBytes)
{
    CRegKey key;
    ASSERT_EQ(0, key.Create(HKEY_CURRENT_USER, m_places.settingsKey.c_str(), KEY_ALL_ACCESS));
    CRegKey child;
    ASSERT_EQ(0, child.Create(key.Get(), L"\u5b50\u952e", KEY_READ));
    const uint8_t bytes[3] = {1, 2, 0xFF};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), L"Bin", 0, REG_BINARY, bytes, sizeof(bytes)));
    ASSERT_EQ(0, key.SetString(L"Text", std::wstring(300, L't')));

    std::wstring name;
    ASSERT_EQ(0, key.EnumSubKey(0, &name));
    EXPECT_EQ(L"\u5b50\u952e", name);
    EXPECT_EQ(-1, key.EnumSubKey(1, &name));

    bool sawBinary = false, sawText = false;
    DWORD type = 0;
    std::vector<uint8_t> data;
    DWORD index = 0;
    for (; key.EnumValue(index, &name, &type, &data) == 0; ++index) {
        if (name == L"Bin") {
            sawBinary = type == REG_BINARY && data == std::vector<uint8_t>(bytes, bytes + 3);
        } else if (name == L"Text") {
            sawText = type == REG_SZ && data.size() == 602;
        }
    }
    EXPECT_EQ(2u, index);
    EXPECT_TRUE(sawBinary);
    EXPECT_TRUE(sawText);

    ASSERT_EQ(0, key.QueryRaw(L"Bin", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(3u, data.size());
    EXPECT_EQ(-1, key.QueryRaw(L"Missing", &type, &data));
    uint32_t number = 5;
    EXPECT_EQ(-2, key.QueryDword(L"Bin", &number));
    EXPECT_EQ(5u, number);
}

TEST_F(Config, SettingsFileAddresses)
{
    CConfig config(m_places);
    std::wstring url = L"unchanged";
    EXPECT_EQ(-1, config.GetUpdateUrl(url)); // no file
    EXPECT_EQ(L"unchanged", url);

    WriteConfigFile("<?xml version=\"1.0\" ?>\n<Harrowmere>\n"
                    "  <Update Url=\"http://127.0.0.1:8807/update/\" />\n"
                    "  <AD Url=\"http://127.0.0.1:8807/ad/AD.xml\" />\n</Harrowmere>\n");
    ASSERT_EQ(0, config.GetUpdateUrl(url));
    EXPECT_EQ(L"http://127.0.0.1:8807/update/", url);
    ASSERT_EQ(0, config.GetFeedUrl(url));
    EXPECT_EQ(L"http://127.0.0.1:8807/ad/AD.xml", url);
}

TEST_F(Config, SettingsFileFailureCodes)
{
    CConfig config(m_places);
    std::wstring url;
    struct Case {
        const char* file;
        int update;
        int feed;
    } cases[] = {
        {"<Harrowmere><Update Url=\"u\"", -1, -1},                          // not well formed
        {"<!-- nothing but a comment -->", -2, -2},                        // no element
        {"<Other/><Harrowmere><Update Url=\"u\"/></Harrowmere>", -3, -3},  // first element decides
        {"<Harrowmere><AD Url=\"a\"/></Harrowmere>", -4, 0},
        {"<Harrowmere><Update url=\"u\"/><AD/></Harrowmere>", -5, -5},    // attribute name counts case
        {"<Harrowmere><Update Url=\"\"/></Harrowmere>", 0, -4},
    };
    for (const Case& c : cases) {
        WriteConfigFile(c.file);
        EXPECT_EQ(c.update, config.GetUpdateUrl(url)) << c.file;
        EXPECT_EQ(c.feed, config.GetFeedUrl(url)) << c.file;
    }
}

TEST_F(Config, SettingsFileTextComesFromTheAnsiCodePage)
{
    if (GetACP() != 936)
        GTEST_SKIP() << "needs the Chinese code page (LANG=zh_CN.UTF-8)";
    // The file's bytes are GBK, as the system code page writes them.
    std::wstring wide = L"http://127.0.0.1/\u66f4\u65b0/";
    WriteConfigFile("<Harrowmere><Update Url=\"" + WideToAnsi(wide) + "\"/></Harrowmere>");
    CConfig config(m_places);
    std::wstring url;
    ASSERT_EQ(0, config.GetUpdateUrl(url));
    EXPECT_EQ(wide, url);
}

TEST_F(Config, SettingsFileIsFoundInAChineseFolder)
{
    if (GetACP() != 936)
        GTEST_SKIP() << "needs the Chinese code page (LANG=zh_CN.UTF-8)";
    std::wstring chinese = m_folder + L"\\\u76d1\u63a7";
    ASSERT_TRUE(CreateDirectoryW(chinese.c_str(), nullptr));
    std::ofstream(std::filesystem::path(chinese) / L"Harrowmere.cfg", std::ios::binary)
        << "<Harrowmere><AD Url=\"feed\"/></Harrowmere>";
    ConfigPlaces places = m_places;
    places.programFolder = chinese;
    std::wstring url;
    ASSERT_EQ(0, CConfig(places).GetFeedUrl(url));
    EXPECT_EQ(L"feed", url);
}

// --- the singleton base ------------------------------------------------------

namespace {

std::atomic<int> g_constructions{0};

class CCounted : public CSingleton<CCounted> {
public:
    CCounted() { ++g_constructions; }
    int value = 0;
};

} // namespace

TEST(Singleton, CreatedOnceOnFirstUseEvenWhenThreadsRace)
{
    CCounted::DeleteInstance();
    g_constructions = 0;
    EXPECT_EQ(nullptr, CCounted::PeekInstance());

    std::vector<CCounted*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = CCounted::Instance(); });
    for (std::thread& t : threads)
        t.join();

    EXPECT_EQ(1, g_constructions.load());
    for (CCounted* p : seen)
        EXPECT_EQ(seen[0], p);
    EXPECT_EQ(seen[0], CCounted::PeekInstance());
    CCounted::DeleteInstance();
}

TEST(Singleton, DeletedExplicitlyAndRecreatedFresh)
{
    CCounted::Instance()->value = 42;
    CCounted::DeleteInstance();
    EXPECT_EQ(nullptr, CCounted::PeekInstance());
    CCounted::DeleteInstance(); // a second delete is harmless
    EXPECT_EQ(0, CCounted::Instance()->value);
    CCounted::DeleteInstance();
}

namespace {

// The settings-changed messages a listening window was sent.
std::vector<std::pair<HWND, Setting>> g_told;

LRESULT CALLBACK ListenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SETTINGS_CHANGED)
        g_told.emplace_back(hwnd, static_cast<Setting>(wParam));
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND NewListener()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ListenerProc;
    wc.lpszClassName = L"HmSettingsListener";
    RegisterClassW(&wc); // the second time it exists already
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

} // namespace

TEST_F(Config, ChangingASettingSavesItAndTellsEveryListenerOnce)
{
    CConfig config(m_places);
    config.AutoUpdate = 2; // neither on nor off: shown as off
    HWND first = NewListener(), second = NewListener();
    config.AddListener(first);
    config.AddListener(second);
    config.AddListener(first); // once is enough
    const struct {
        const char* what;
        std::function<void()> change;
        Setting told;
        std::function<bool(const CConfig&)> saved;
    } cases[] = {
        { "set", [&] { config.Set(Setting::ShowInfo, 0); }, Setting::ShowInfo,
          [](const CConfig& c) { return c.ShowInfo == 0; } },
        { "toggle on to off", [&] { config.Toggle(Setting::Hook); }, Setting::Hook,
          [](const CConfig& c) { return c.Hook == 0; } },
        { "toggle of another value", [&] { config.Toggle(Setting::AutoUpdate); }, Setting::AutoUpdate,
          [](const CConfig& c) { return c.AutoUpdate == 1; } },
        { "same value again", [&] { config.Set(Setting::ShowRunInfo, 1); }, Setting::ShowRunInfo,
          [](const CConfig& c) { return c.ShowRunInfo == 1; } },
        { "hot key", [&] { config.SetHotKey(VK_F8, HOTKEYF_CONTROL); }, Setting::HotKey,
          [](const CConfig& c) { return c.HotKey == VK_F8 && c.SystemKey == HOTKEYF_CONTROL; } },
        { "autorun", [&] { config.SetAutorun(true); }, Setting::Autorun,
          [](const CConfig& c) { return c.AutorunOn(); } },
    };
    for (const auto& c : cases) {
        g_told.clear();
        c.change();
        EXPECT_EQ((std::vector<std::pair<HWND, Setting>>{ { first, c.told }, { second, c.told } }), g_told) << c.what;
        CConfig stored(m_places);
        ASSERT_EQ(0, stored.Load());
        EXPECT_TRUE(c.saved(stored)) << c.what;
    }

    config.RemoveListener(first);
    DestroyWindow(second); // a listener that went without saying so
    g_told.clear();
    config.Toggle(Setting::Hook);
    EXPECT_TRUE(g_told.empty());
    DestroyWindow(first);
}

TEST_F(Config, BlockCountCountedOnOneThreadWhileAnotherCountsAndSavesLosesNothing)
{
    CConfig config(m_places);
    const uint32_t perThread = 20000;
    std::thread counter([&] {
        for (uint32_t i = 0; i < perThread; ++i)
            config.BlockCount++;
    });
    for (uint32_t i = 0; i < perThread; ++i) {
        ++config.BlockCount;
        if (i % 2000 == 0)
            config.Save();
    }
    counter.join();
    EXPECT_EQ(2 * perThread, config.BlockCount);
    ASSERT_EQ(0, config.SaveBlockCount());
    CConfig stored(m_places);
    ASSERT_EQ(0, stored.Load());
    EXPECT_EQ(2 * perThread, stored.BlockCount);
}

TEST(HotKey, ControlFlagsBecomeRegisterHotKeyModifiers)
{
    const struct {
        UINT flags;
        UINT modifiers;
    } cases[] = {
        { 0, 0 },
        { HOTKEYF_SHIFT, MOD_SHIFT },
        { HOTKEYF_CONTROL | HOTKEYF_ALT, MOD_CONTROL | MOD_ALT },
        { HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_EXT, MOD_SHIFT | MOD_CONTROL | MOD_ALT },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.modifiers, HotKeyModifiers(c.flags)) << c.flags;
}
