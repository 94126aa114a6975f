// The settings page, created from its template as the child of a stand-in
// main window that owns the hot key, with settings in a scratch registry key.
// Controls are clicked with messages; the saved settings, the hot-key
// registrations and the error box are read back.
#include "monitor/ConfigDlg.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "gui/Screenshot.h"
#include "res/resource.h"
#include "ui/Window.h"

#include "gui/MessagePump.h"
#include "support/Wait.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using gui::Pump;

RECT ChildRect(HWND child)
{
    return ui::ChildRect(GetParent(child), child);
}

// What the error box showed, found and dismissed from another thread.
struct BoxSeen {
    bool found = false;
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};

class BoxWatcher {
public:
    BoxWatcher()
    {
        m_thread = std::thread([this] {
            const std::wstring caption = ui::LoadStr(IDS_CAPTION_ERROR);
            HWND box = nullptr;
            testwait::WaitUntil([&] {
                if (m_stop)
                    return true;
                HWND found = FindWindowW(L"#32770", caption.c_str());
                box = found && IsWindowVisible(found) ? found : nullptr;
                return box != nullptr;
            }, 10000);
            if (!box)
                return;
            wchar_t text[256] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 256);
            m_seen.text = text;
            m_seen.caption = caption;
            m_seen.owner = GetWindow(box, GW_OWNER);
            m_seen.found = true;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
    }
    ~BoxWatcher() { Stop(); }
    const BoxSeen& Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_seen;
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{ false };
    BoxSeen m_seen;
};

// A window of another "program" that takes a hot-key combination.
class HotKeyHolder {
public:
    HotKeyHolder() { m_hwnd = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr); }
    ~HotKeyHolder()
    {
        UnregisterHotKey(m_hwnd, 7);
        DestroyWindow(m_hwnd);
    }
    bool Take(UINT modifiers, UINT vk) { return RegisterHotKey(m_hwnd, 7, modifiers, vk) != FALSE; }
    void Release() { UnregisterHotKey(m_hwnd, 7); }

private:
    HWND m_hwnd;
};

class SettingsPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
        m_scratchKey = L"Software\\HarrowmereConfigPageTest_" + unique;
        m_places.settingsKey = m_scratchKey + L"\\Settings";
        m_places.runKey = m_scratchKey + L"\\Run";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_places.programFolder = std::wstring(temp) + L"hm_config_page_" + unique;
        m_config = std::make_unique<CConfig>(m_places);
        m_config->Save();

        m_main = CreateWindowExW(0, L"STATIC", L"Settings page", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40,
                                 560, 460, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_main);
        m_page = std::make_unique<CConfigDlg>();
        m_page->SetConfig(m_config.get());
        m_page->SetMainWindow(m_main);
        ASSERT_TRUE(m_page->Create(m_main));
        ShowWindow(m_page->Hwnd(), SW_SHOW);
        Pump(30);
    }

    void TearDown() override
    {
        m_page.reset();
        UnregisterHotKey(m_main, HM_HOTKEY_ID);
        DestroyWindow(m_main);
        testreg::DeleteTree(HKEY_CURRENT_USER, m_scratchKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_scratchKey.c_str());
    }

    // The settings as stored, read by a fresh settings object.
    std::unique_ptr<CConfig> Saved() const
    {
        auto saved = std::make_unique<CConfig>(m_places);
        saved->Load();
        return saved;
    }

    HWND Item(int id) const { return m_page->Item(id); }
    bool Checked(int id) const { return IsDlgButtonChecked(m_page->Hwnd(), id) == BST_CHECKED; }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }

    void SetHotKeyControl(BYTE vk, BYTE flags)
    {
        SendMessageW(Item(IDC_CONFIG_HOTKEY), HKM_SETHOTKEY, MAKEWORD(vk, flags), 0);
    }
    void ClickApply()
    {
        SendMessageW(Item(IDC_CONFIG_APPLY), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(Item(IDC_CONFIG_APPLY), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }

    ConfigPlaces m_places;
    std::wstring m_scratchKey;
    std::unique_ptr<CConfig> m_config;
    HWND m_main = nullptr;
    std::unique_ptr<CConfigDlg> m_page;
};

} // namespace

TEST_F(SettingsPage, RefreshLoadsTheControlsFromTheSettings)
{
    const struct {
        uint32_t showInfo, showRunInfo;
        bool autorun;
        uint32_t hotKey, systemKey;
    } cases[] = {
        { 1, 0, true, VK_F12, 6 },
        { 0, 1, false, 'K', 3 },
        // Only the low byte of each hot-key setting counts; any value but 1 is off.
        { 2, 1, false, 0x100 | VK_F9, 0x500 | 1 },
    };
    for (const auto& c : cases) {
        m_config->ShowInfo = c.showInfo;
        m_config->ShowRunInfo = c.showRunInfo;
        m_config->HotKey = c.hotKey;
        m_config->SystemKey = c.systemKey;
        ASSERT_EQ(0, m_config->SetAutorun(c.autorun));
        m_page->Refresh();
        EXPECT_EQ(c.showInfo == 1, Checked(IDC_CONFIG_SHOW_INFO));
        EXPECT_EQ(c.showRunInfo == 1, Checked(IDC_CONFIG_SHOW_RUN_INFO));
        EXPECT_EQ(c.autorun, Checked(IDC_CONFIG_AUTORUN));
        const WORD hotKey = static_cast<WORD>(SendMessageW(Item(IDC_CONFIG_HOTKEY), HKM_GETHOTKEY, 0, 0));
        EXPECT_EQ(c.hotKey & 0xFF, LOBYTE(hotKey));
        EXPECT_EQ(c.systemKey & 0xFF, HIBYTE(hotKey));
    }
}

TEST_F(SettingsPage, CheckBoxesSaveTheirSettingsAtOnce)
{
    m_config->ShowInfo = 1;
    m_config->ShowRunInfo = 1;
    m_page->Refresh();
    EXPECT_TRUE(gui::SaveScreenshot(m_main, L"settings-page-general.bmp"));

    SendMessageW(Item(IDC_CONFIG_SHOW_INFO), BM_CLICK, 0, 0);
    EXPECT_EQ(0u, Saved()->ShowInfo);
    EXPECT_EQ(1u, Saved()->ShowRunInfo);
    SendMessageW(Item(IDC_CONFIG_SHOW_RUN_INFO), BM_CLICK, 0, 0);
    EXPECT_EQ(0u, Saved()->ShowRunInfo);
    SendMessageW(Item(IDC_CONFIG_SHOW_INFO), BM_CLICK, 0, 0);
    EXPECT_EQ(1u, Saved()->ShowInfo);
    EXPECT_EQ(0u, Saved()->ShowRunInfo);

    ASSERT_NE(0, m_config->IsAutorun());
    SendMessageW(Item(IDC_CONFIG_AUTORUN), BM_CLICK, 0, 0);
    EXPECT_EQ(0, Saved()->IsAutorun());
    SendMessageW(Item(IDC_CONFIG_AUTORUN), BM_CLICK, 0, 0);
    EXPECT_NE(0, Saved()->IsAutorun());
}

TEST_F(SettingsPage, FollowsChangesMadeElsewhereWithoutBeingAskedToRefresh)
{
    m_config->ShowInfo = 1;
    m_config->Save();
    m_page->Refresh();
    const struct {
        const char* what;
        std::function<void()> change;
        int checkBox;
        bool checked;
    } cases[] = {
        { "balloon switched off", [this] { m_config->Set(Setting::ShowInfo, 0); }, IDC_CONFIG_SHOW_INFO, false },
        { "tray toggle", [this] { m_config->Toggle(Setting::ShowInfo); }, IDC_CONFIG_SHOW_INFO, true },
        { "start balloon off", [this] { m_config->Set(Setting::ShowRunInfo, 0); }, IDC_CONFIG_SHOW_RUN_INFO, false },
        { "autorun on", [this] { m_config->SetAutorun(true); }, IDC_CONFIG_AUTORUN, true },
        { "autorun off", [this] { m_config->SetAutorun(false); }, IDC_CONFIG_AUTORUN, false },
    };
    for (const auto& c : cases) {
        c.change();
        EXPECT_EQ(c.checked ? BST_CHECKED : BST_UNCHECKED, IsDlgButtonChecked(m_page->Hwnd(), c.checkBox)) << c.what;
    }
    m_config->SetHotKey(VK_F9, HOTKEYF_SHIFT);
    EXPECT_EQ(MAKEWORD(VK_F9, HOTKEYF_SHIFT),
              LOWORD(SendMessageW(Item(IDC_CONFIG_HOTKEY), HKM_GETHOTKEY, 0, 0)));
    EXPECT_EQ(static_cast<uint32_t>(VK_F9), Saved()->HotKey);
}

TEST_F(SettingsPage, SwitchingSectionsSwapsTheControlsAndChangesNoSetting)
{
    m_config->ShowInfo = 0;
    m_config->HotKey = VK_F8;
    m_config->SystemKey = 2;
    m_config->Save();
    m_page->Refresh();

    EXPECT_EQ(CConfigDlg::General, m_page->CurrentSection());
    EXPECT_TRUE(Visible(IDC_CONFIG_AUTORUN));
    EXPECT_FALSE(Visible(IDC_CONFIG_HOTKEY));
    EXPECT_FALSE(Visible(IDC_CONFIG_APPLY));

    // The hot-key section stands where the check boxes stand.
    const RECT first = ChildRect(Item(IDC_CONFIG_AUTORUN));
    EXPECT_EQ(first.top, ChildRect(Item(IDC_CONFIG_HOTKEY_LABEL)).top);
    EXPECT_EQ(first.top - 4, ChildRect(Item(IDC_CONFIG_HOTKEY)).top);

    SetForegroundWindow(m_main);
    SendMessageW(Item(IDC_CONFIG_HOTKEY_SECTION), BM_CLICK, 0, 0);
    EXPECT_EQ(CConfigDlg::HotKey, m_page->CurrentSection());
    for (int id : { IDC_CONFIG_HOTKEY_LABEL, IDC_CONFIG_HOTKEY, IDC_CONFIG_APPLY })
        EXPECT_TRUE(Visible(id)) << id;
    for (int id : { IDC_CONFIG_AUTORUN, IDC_CONFIG_SHOW_INFO, IDC_CONFIG_SHOW_RUN_INFO })
        EXPECT_FALSE(Visible(id)) << id;
    EXPECT_EQ(Item(IDC_CONFIG_HOTKEY), GetFocus());
    Pump(30);
    EXPECT_TRUE(gui::SaveScreenshot(m_main, L"settings-page-hotkey.bmp"));

    SendMessageW(Item(IDC_CONFIG_GENERAL), BM_CLICK, 0, 0);
    EXPECT_EQ(CConfigDlg::General, m_page->CurrentSection());
    EXPECT_TRUE(Visible(IDC_CONFIG_SHOW_INFO));
    EXPECT_FALSE(Visible(IDC_CONFIG_HOTKEY_LABEL));

    auto saved = Saved();
    EXPECT_EQ(0u, saved->ShowInfo);
    EXPECT_EQ(1u, saved->ShowRunInfo);
    EXPECT_EQ(static_cast<uint32_t>(VK_F8), saved->HotKey);
    EXPECT_EQ(2u, saved->SystemKey);
    EXPECT_NE(0, saved->IsAutorun());
    EXPECT_EQ(0u, m_config->ShowInfo);
    EXPECT_EQ(static_cast<uint32_t>(VK_F8), m_config->HotKey);
}

TEST_F(SettingsPage, ApplyRegistersTheHotKeyForTheMainWindowAndSavesIt)
{
    // The main window holds the default Ctrl+Alt+F12 already: applying it
    // again succeeds because the old registration goes first.
    ASSERT_TRUE(RegisterHotKey(m_main, HM_HOTKEY_ID, MOD_CONTROL | MOD_ALT, VK_F12));
    SendMessageW(Item(IDC_CONFIG_HOTKEY_SECTION), BM_CLICK, 0, 0);
    {
        BoxWatcher watcher;
        SetHotKeyControl(VK_F12, HOTKEYF_CONTROL | HOTKEYF_ALT);
        ClickApply();
        EXPECT_FALSE(watcher.Stop().found);
    }
    EXPECT_EQ(static_cast<uint32_t>(VK_F12), Saved()->HotKey);
    EXPECT_EQ(6u, Saved()->SystemKey);

    {
        BoxWatcher watcher;
        SetHotKeyControl(VK_F11, HOTKEYF_CONTROL | HOTKEYF_SHIFT);
        ClickApply();
        EXPECT_FALSE(watcher.Stop().found);
    }
    EXPECT_EQ(static_cast<uint32_t>(VK_F11), Saved()->HotKey);
    EXPECT_EQ(3u, Saved()->SystemKey);

    // The new combination belongs to the main window now; the old one is free.
    HotKeyHolder other;
    EXPECT_FALSE(other.Take(MOD_CONTROL | MOD_SHIFT, VK_F11));
    EXPECT_TRUE(other.Take(MOD_CONTROL | MOD_ALT, VK_F12));
}

TEST_F(SettingsPage, ApplyOfATakenHotKeyReportsTheFailureAndKeepsTheOldSetting)
{
    ASSERT_TRUE(RegisterHotKey(m_main, HM_HOTKEY_ID, MOD_CONTROL | MOD_ALT, VK_F12));
    HotKeyHolder other;
    ASSERT_TRUE(other.Take(MOD_CONTROL | MOD_SHIFT, VK_F9));
    SendMessageW(Item(IDC_CONFIG_HOTKEY_SECTION), BM_CLICK, 0, 0);

    BoxSeen seen;
    {
        BoxWatcher watcher;
        SetHotKeyControl(VK_F9, HOTKEYF_CONTROL | HOTKEYF_SHIFT);
        ClickApply(); // returns when the watcher dismissed the box
        seen = watcher.Stop();
    }
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(L"注册系统热键失败,请重新输入.", seen.text);
    EXPECT_EQ(L"错误", seen.caption);
    EXPECT_EQ(m_main, seen.owner); // the page's top-level window
    EXPECT_EQ(static_cast<uint32_t>(VK_F12), Saved()->HotKey);
    EXPECT_EQ(6u, Saved()->SystemKey);
    EXPECT_EQ(static_cast<uint32_t>(VK_F12), m_config->HotKey);

    // The old combination was released before the attempt and stays free
    // until a later apply succeeds.
    HotKeyHolder third;
    EXPECT_TRUE(third.Take(MOD_CONTROL | MOD_ALT, VK_F12));
    third.Release();

    other.Release();
    {
        BoxWatcher watcher;
        ClickApply();
        EXPECT_FALSE(watcher.Stop().found);
    }
    EXPECT_EQ(static_cast<uint32_t>(VK_F9), Saved()->HotKey);
    EXPECT_EQ(3u, Saved()->SystemKey);
}
