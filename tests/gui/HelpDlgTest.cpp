// The help page, created from its template as the child of a stand-in main
// window; the address it shows and opens is read back.
#include "helpview/HelpDlg.h"

#include "base/Strings.h"
#include "gui/Screenshot.h"
#include "res/resource.h"

#include "gui/MessagePump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gui::Pump;

std::wstring TextOf(HWND hwnd)
{
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return buf;
}

} // namespace

TEST(HelpPage, ShowsTheOnlineHelpAddressAndOpensItWhenClicked)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"Help page", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40, 560,
                                  460, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    {
        CHelpDlg page;
        std::vector<std::wstring> opened;
        page.SetOpener([&opened](const std::wstring& address) { opened.push_back(address); });
        ASSERT_TRUE(page.Create(parent));
        ShowWindow(page.Hwnd(), SW_SHOW);

        // The help page lives on the vendor's site, the one the picture links to.
        const std::wstring address = L"http://127.0.0.1:8807/client";
        const std::wstring pictureTip = ui::LoadStr(IDS_PICTURE_TIP);
        ASSERT_EQ(0u, pictureTip.find(L"链接到"));
        EXPECT_EQ(pictureTip.substr(3) + L"client", address);

        // Shown from the start, and again each time the page is shown.
        HWND link = page.Item(IDC_HELP_LINK);
        ASSERT_NE(nullptr, link);
        EXPECT_EQ(address, TextOf(link));
        page.Navigate();
        EXPECT_EQ(address, page.Address());
        EXPECT_EQ(address, TextOf(link));

        // Something changed the link meanwhile: the address comes back.
        SetWindowTextW(link, L"");
        page.Navigate();
        EXPECT_EQ(address, TextOf(link));

        SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        ASSERT_EQ(1u, opened.size());
        EXPECT_EQ(address, opened[0]);

        // Escape or Enter reaching the page leaves it open.
        SendMessageW(page.Hwnd(), WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(page.IsWindow());

        Pump(50);
        EXPECT_TRUE(gui::SaveScreenshot(parent, L"help-page.bmp"));
    }
    DestroyWindow(parent);
}
