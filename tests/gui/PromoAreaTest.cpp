// The promotion area on a stand-in main window: the picture and banner
// controls, the stored feed applied at creation, and the fetch of a fresh
// feed from the local test server one second later.
#include "monitor/PromoArea.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "gui/MessagePump.h"
#include "gui/Screenshot.h"
#include "gui/TestWindow.h"
#include "res/resource.h"
#include "TestRegistry.h"
#include "update/UpdateTestKit.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

using gui::Pump;

const int kPictureId = 1022, kBannerId = 1119;
std::vector<WPARAM> g_bannerClicks;
CPromoArea* g_area = nullptr;

// The owner hands the area its messages, as the main window does.
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_BANNER_CLICK)
        g_bannerClicks.push_back(wParam);
    if (g_area && ((msg == WM_TIMER && g_area->OnTimer(wParam)) ||
                   (msg == WM_COMMAND && g_area->OnCommand(LOWORD(wParam), HIWORD(wParam))) ||
                   g_area->OnMessage(msg, wParam, lParam)))
        return 0;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::string Feed(const std::string& image, const std::vector<std::string>& items)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Harrowmere_AD Serial=\"" +
                      std::to_string(kit::NextSerial()) + "\" Expires=\"2099-12-31\"><Main Url=\"http://click/\" "
                      "Tooltip=\"picture tip\" Image=\"" + image + "\"/><Banner>";
    for (const std::string& item : items)
        xml += item;
    return xml + "</Banner></Harrowmere_AD>";
}

std::string Item(const std::string& text, bool withUrl = true, const std::string& url = "")
{
    return "<Item Text=\"" + text + "\" Tooltip=\"tip " + text + "\"" +
           (withUrl ? " Url=\"" + (url.empty() ? "http://" + text + "/" : url) + "\"" : "") + "/>";
}

class PromoArea : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_bannerClicks.clear();
        m_places.programFolder = m_dir.Path();
        m_places.settingsKey = m_key;
        m_config = std::make_unique<CConfig>(m_places);
        m_owner = gui::CreateTestWindow(L"HmPromoTestOwner", OwnerProc, L"Promotion area",
                                        WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40, 420, 200);
        ASSERT_NE(nullptr, m_owner);
    }
    void TearDown() override
    {
        DestroyArea();
        DestroyWindow(m_owner);
        testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
    }

    void CreateArea()
    {
        HWND picture = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 10, 10, 117, 88, m_owner,
                                       reinterpret_cast<HMENU>(kPictureId), nullptr, nullptr);
        HWND banner = CreateWindowExW(0, L"STATIC", L"default text", WS_CHILD | WS_VISIBLE, 140, 60, 260, 16, m_owner,
                                      reinterpret_cast<HMENU>(kBannerId), nullptr, nullptr);
        m_area = std::make_unique<CPromoArea>(m_config.get());
        g_area = m_area.get();
        m_area->SetOpener([this](const std::wstring& address) { m_opened.push_back(address); });
        m_area->SetFetchLimits({ 5000, 2 });
        ASSERT_TRUE(m_area->Create(m_owner, picture, banner));
    }
    void DestroyArea()
    {
        g_area = nullptr;
        m_area.reset();
        DestroyWindow(GetDlgItem(m_owner, kPictureId));
        DestroyWindow(GetDlgItem(m_owner, kBannerId));
    }

    // The stored feed, last written `ageHours` ago.
    void StoreFeed(const std::string& xml, int ageHours)
    {
        const std::wstring path = m_dir / L"AD\\AD.xml";
        ASSERT_TRUE(kit::WriteSigned(path, xml));
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t = { { now.dwLowDateTime, now.dwHighDateTime } };
        t.QuadPart -= static_cast<ULONGLONG>(ageHours) * 3600 * 10000000ULL;
        FILETIME when = { t.LowPart, t.HighPart };
        HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &when));
        CloseHandle(file);
    }

    std::vector<std::wstring> BannerTexts()
    {
        std::vector<std::wstring> texts;
        for (int i = 0; i < m_area->Banner().ItemCount(); ++i)
            texts.push_back(m_area->Banner().ItemText(i));
        return texts;
    }

    kit::ScratchFolder m_dir{ L"promo" };
    // The accepted feed serial of these tests.
    std::wstring m_key = L"Software\\HarrowmereTest\\promo_" + std::to_wstring(GetCurrentProcessId());
    ConfigPlaces m_places;
    std::unique_ptr<CConfig> m_config;
    HWND m_owner = nullptr;
    std::unique_ptr<CPromoArea> m_area;
    std::vector<std::wstring> m_opened;
};

} // namespace

TEST_F(PromoArea, DefaultPictureAnimatesAndTheBannerSlidesAndHolds)
{
    CreateArea();
    CVxPicture& picture = m_area->Picture();
    EXPECT_EQ(4, picture.FrameCount()) << "the built-in animated picture";
    EXPECT_EQ(ui::LoadStr(IDS_PICTURE_TIP), picture.Tooltip());
    const int first = picture.CurrentFrame();
    Pump(600);
    EXPECT_NE(first, picture.CurrentFrame());
    SendMessageW(picture.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(picture.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(std::vector<std::wstring>{ m_area->ClickAddress() }, m_opened);
    ASSERT_TRUE(kit::WriteFile(m_dir / L"not.gif", "GIF89a and nothing more"));
    EXPECT_FALSE(picture.LoadFile(m_dir / L"not.gif"));
    EXPECT_TRUE(picture.IsEmpty()) << "what cannot be decoded leaves the control empty";

    CVxBanner& banner = m_area->Banner();
    EXPECT_EQ(0, banner.ItemCount());
    banner.SetTiming({ 100, 10, 4 });
    for (const wchar_t* text : { L"one", L"two", L"three" })
        banner.AddItem(text, std::wstring(L"tip ") + text);
    std::vector<int> seen = { banner.CurrentItem() };
    for (int i = 0; i < 100 && seen.size() < 4; ++i, Pump(10))
        if (seen.back() != banner.CurrentItem())
            seen.push_back(banner.CurrentItem());
    EXPECT_EQ((std::vector<int>{ 0, 1, 2, 0 }), seen) << "items follow each other and wrap";

    // The mouse over the banner holds it and its tip is the item's; a click
    // tells the owner; leaving lets it move on.
    SendMessageW(banner.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    const int held = banner.CurrentItem(), offset = banner.SlideOffset();
    Pump(400);
    EXPECT_EQ(held, banner.CurrentItem());
    EXPECT_EQ(offset, banner.SlideOffset());
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = banner.TooltipWindow();
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(banner.Hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(banner.ItemTip(held), info.lpszText ? info.lpszText : L"");
    SendMessageW(banner.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(std::vector<WPARAM>{ static_cast<WPARAM>(held) }, g_bannerClicks);
    SendMessageW(banner.Hwnd(), WM_MOUSELEAVE, 0, 0);
    for (int i = 0; i < 100 && banner.CurrentItem() == held; ++i)
        Pump(10);
    EXPECT_NE(held, banner.CurrentItem());
}

TEST_F(PromoArea, StoredFeedAndItsAge)
{
    REQUIRE_TEST_SERVERS();
    // The fresh feed's picture is missing: its download ends early, so the
    // new feed is on disk but not applied before the next start.
    const std::string fresh = Feed(kit::Url("ERROR", "404/p.gif"), { Item("fresh") });
    const std::string two = Feed("http://h/pic.gif", { Item("a"), Item("b") });
    const struct {
        const char* what;
        std::string stored;
        int ageHours;
        std::vector<std::wstring> items;
        bool fetch;
    } cases[] = {
        { "47 hours old", two, 47, { L"a", L"b" }, false },
        { "48 hours old", two, 48, { L"a", L"b" }, true },
        { "second item without Url", Feed("http://h/pic.gif", { Item("a"), Item("b", false) }), 1, { L"a" }, true },
        { "no feed", "", 0, {}, true },
    };
    int serial = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
        const std::string feedUrl = kit::PublishSigned("promo/" + std::to_string(++serial) + "/AD.xml", fresh);
        ASSERT_TRUE(kit::WriteConfig(m_dir.Path(), "", feedUrl));
        DeleteFileW((m_dir / L"AD\\AD.xml").c_str());
        if (!c.stored.empty())
            StoreFeed(c.stored, c.ageHours);
        CreateArea();
        EXPECT_EQ(c.items, BannerTexts());
        EXPECT_EQ(c.fetch, m_area->FetchScheduled());
        // Until the scheduled download has started and ended (its timer
        // fires after a second; the feed and its signature then travel).
        for (const DWORD start = GetTickCount();
             (m_area->FetchScheduled() || m_area->FeedThreadAlive()) && GetTickCount() - start < 20000;)
            Pump(20);
        EXPECT_FALSE(m_area->FetchScheduled()) << "timer 200 fires once";
        EXPECT_EQ(c.fetch ? fresh : c.stored.empty() ? "<missing>" : c.stored, kit::ReadFile(m_dir / L"AD\\AD.xml"));
        EXPECT_EQ(c.items, BannerTexts());
        DestroyArea();
    }
}

TEST_F(PromoArea, FreshFeedIsAppliedOnTheWindowsThread)
{
    REQUIRE_TEST_SERVERS();
    // The built-in animated picture serves as the feed's picture.
    HRSRC found = FindResourceW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_PROMO_GIF), L"GIF");
    ASSERT_NE(nullptr, found);
    const std::string gif(static_cast<const char*>(LockResource(LoadResource(ui::ResourceModule(), found))),
                          SizeofResource(ui::ResourceModule(), found));
    const std::string feed = Feed(kit::Publish("promo/fresh/fresh.gif", gif), { Item("first"), Item("second") });
    ASSERT_TRUE(kit::WriteConfig(m_dir.Path(), "", kit::PublishSigned("promo/fresh/AD.xml", feed)));
    CreateArea();
    EXPECT_TRUE(m_area->FetchScheduled());
    gui::PumpUntil([this] { return BannerTexts().size() == 2; }, 10000);
    EXPECT_EQ((std::vector<std::wstring>{ L"first", L"second" }), BannerTexts());
    EXPECT_EQ(L"http://click/", m_area->ClickAddress());
    EXPECT_EQ(L"picture tip", m_area->Picture().Tooltip());
    EXPECT_FALSE(m_area->Picture().IsEmpty());
    EXPECT_TRUE(kit::Exists(m_dir / L"AD\\fresh.gif"));
    EXPECT_FALSE(m_area->FeedThreadAlive());
    SendMessageW(m_owner, WM_BANNER_CLICK, 1, 0);
    EXPECT_EQ(std::vector<std::wstring>{ L"http://second/" }, m_opened);
    Pump(100);
    EXPECT_TRUE(gui::SaveScreenshot(m_owner, L"promo-area-fresh-feed.bmp"));
}

TEST_F(PromoArea, FeedsThatCannotBeTrustedOrAddressesThatAreNotWebAddresses)
{
    const std::vector<std::string> hostile = { Item("exe", true, "C:\\Windows\\notepad.exe"),
                                               Item("share", true, "\\\\host\\share\\x.exe"),
                                               Item("file", true, "file:///C:/Windows/notepad.exe"),
                                               Item("web") };
    const std::string feed = Feed("C:\\Windows\\notepad.exe", hostile);
    const struct {
        const char* what;
        kit::SignWith sign;
        bool tampered;
        std::vector<std::wstring> items; // shown in the banner
    } cases[] = {
        { "signed", {}, false, { L"exe", L"share", L"file", L"web" } },
        { "another key", { "other" }, false, {} },
        { "changed after signing", {}, true, {} },
        { "legacy signature", { "dev", true }, false, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_opened.clear();
        StoreFeed(feed, 1);
        const std::wstring path = m_dir / L"AD\\AD.xml";
        ASSERT_TRUE(kit::WriteFile(path + L".minisig", kit::Sign(feed, c.sign)));
        if (c.tampered) {
            ASSERT_TRUE(kit::WriteFile(path, feed + " "));
        }
        CreateArea();
        EXPECT_EQ(c.items, BannerTexts());
        for (size_t i = 0; i < c.items.size(); ++i)
            SendMessageW(m_owner, WM_BANNER_CLICK, i, 0);
        SendMessageW(m_owner, WM_COMMAND, MAKEWPARAM(kPictureId, STN_CLICKED), 0);
        // Only the web address is opened; the picture's click address is
        // the feed's, a web address, and the default one when refused.
        const std::vector<std::wstring> opened =
            c.items.empty() ? std::vector<std::wstring>{ m_area->ClickAddress() }
                            : std::vector<std::wstring>{ L"http://web/", L"http://click/" };
        EXPECT_EQ(opened, m_opened);
        DestroyArea();
    }
}
