// The marker search over captured pixels, the notification area's rectangle
// and the shell's button and item records, without any real taskbar.
#include "controls/TrayScan.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

// A white block of pixels with black rectangles painted into it.
struct Pixels {
    int width, height, stride;
    std::vector<uint32_t> data;

    Pixels(int w, int h, int s = 0) : width(w), height(h), stride(s ? s : w), data(size_t(stride) * h, kWhite) {}
    void Fill(int x, int y, int cx, int cy, uint32_t colour = kBlack)
    {
        for (int row = y; row < y + cy; ++row)
            for (int col = x; col < x + cx; ++col)
                data[size_t(row) * stride + col] = colour;
    }
    bool Find(POINT* found) const
    {
        PIXEL_BLOCK block = { data.data(), width, height, stride };
        return FindMarkerPixels(block, found);
    }
};

} // namespace

TEST(TrayScan, NineDarkPixelsInARowFindTheMarkerEightDoNot)
{
    // A black block 16 rows high at (5, 2) in a 40 x 20 area: the lowest row
    // with dark pixels two rows above and below is 15.
    for (int width : { 7, 8, 9, 10, 16 }) {
        Pixels p(40, 20);
        p.Fill(5, 2, width, 16);
        POINT found = { -1, -1 };
        const bool ok = p.Find(&found);
        EXPECT_EQ(width >= 9, ok) << "run of " << width;
        if (ok) {
            // The ninth pixel is at x = 13: the position is (13 - 1, 15 - 6).
            EXPECT_EQ(12, found.x);
            EXPECT_EQ(9, found.y);
        }
    }
}

TEST(TrayScan, DarkPixelNeedsDarkPixelsTwoRowsAboveAndBelow)
{
    struct Case {
        int top, rows;
        bool found;
    };
    // Five rows are the least that give a row with dark pixels two rows
    // away on both sides.
    const Case cases[] = { { 10, 4, false }, { 10, 5, true }, { 3, 3, false } };
    for (const Case& c : cases) {
        Pixels p(40, 20);
        p.Fill(4, c.top, 12, c.rows);
        POINT found;
        EXPECT_EQ(c.found, p.Find(&found)) << c.top << "+" << c.rows;
        if (c.found) {
            EXPECT_EQ(c.top + 2 - 6, found.y);
        }
    }
}

TEST(TrayScan, OnlyNearlyBlackCounts)
{
    struct Case {
        uint32_t colour;
        bool dark;
    };
    const Case cases[] = {
        { 0x000000, true }, { 0x030303, true }, { 0x000003, true },
        { 0x040000, false }, { 0x000400, false }, { 0x000004, false }, { 0x808080, false },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.dark, IsDarkPixel(c.colour)) << std::hex << c.colour;
        Pixels p(40, 20);
        p.Fill(2, 2, 16, 16, c.colour);
        POINT found;
        EXPECT_EQ(c.dark, p.Find(&found)) << std::hex << c.colour;
    }
}

TEST(TrayScan, RunRestartsAfterALightPixelAndAtEachRow)
{
    // Two runs of five with one light pixel between them.
    Pixels split(40, 20);
    split.Fill(2, 2, 11, 16);
    split.Fill(7, 2, 1, 16, 0x202020);
    POINT found;
    EXPECT_FALSE(split.Find(&found));

    // Five dark pixels ending a row and four starting the row above: nine
    // in a row in memory, but not in one row of the screen.
    Pixels rows(10, 20);
    rows.Fill(5, 2, 5, 16);
    rows.Fill(0, 2, 4, 16);
    EXPECT_FALSE(rows.Find(&found));
}

TEST(TrayScan, PaddingBeyondTheWidthIsNotScanned)
{
    // Rows of 8 visible pixels in a buffer 16 pixels wide; the padding is
    // black as well.
    Pixels p(8, 20, 16);
    p.Fill(0, 0, 16, 20);
    POINT found;
    EXPECT_FALSE(p.Find(&found));
}

TEST(TrayScan, LowestRowAndLeftmostRunWin)
{
    Pixels p(60, 40);
    p.Fill(40, 2, 16, 16);  // a higher icon on the right
    p.Fill(30, 22, 12, 16); // two icons side by side below it, rows 22 to 37
    p.Fill(2, 22, 9, 16);
    POINT found;
    ASSERT_TRUE(p.Find(&found));
    // Rows 37 and 36 lack a dark row two below; in row 35 the left icon
    // completes its run first, at x = 10.
    EXPECT_EQ(9, found.x);
    EXPECT_EQ(35 - 6, found.y);
}

TEST(TrayScan, AreaFallsBackToBottomRightCornerWithoutTheShellsWindows)
{
    HWND notify = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 300, 700, 120, 30, nullptr, nullptr, nullptr, nullptr);
    HWND toolbar = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 320, 704, 80, 22, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(notify && toolbar);
    HWND tray = notify; // any window stands for "Shell_TrayWnd" here

    struct Case {
        TRAY_WINDOWS windows;
        RECT expected;
    };
    const Case cases[] = {
        { { nullptr, nullptr, nullptr }, { 984, 748, 1024, 768 } },
        { { tray, nullptr, nullptr }, { 984, 748, 1024, 768 } },
        { { nullptr, notify, toolbar }, { 984, 748, 1024, 768 } },
        { { tray, notify, nullptr }, { 300, 700, 420, 730 } },
        { { tray, notify, toolbar }, { 320, 704, 400, 726 } },
    };
    for (const Case& c : cases) {
        RECT r = TrayAreaRect(c.windows, 1024, 768);
        EXPECT_EQ(c.expected.left, r.left);
        EXPECT_EQ(c.expected.top, r.top);
        EXPECT_EQ(c.expected.right, r.right);
        EXPECT_EQ(c.expected.bottom, r.bottom);
    }
    RECT small = TrayAreaRect(TRAY_WINDOWS{}, 640, 480);
    EXPECT_EQ(600, small.left);
    EXPECT_EQ(460, small.top);
    DestroyWindow(notify);
    DestroyWindow(toolbar);
}

TEST(TrayScan, EstimateIsTheMiddleOrSixPixelsInOnNewerSystems)
{
    const RECT area = { 984, 748, 1024, 768 };
    POINT old = TrayAreaEstimate(area, false);
    EXPECT_EQ(1004, old.x);
    EXPECT_EQ(758, old.y);
    POINT nt = TrayAreaEstimate(area, true);
    EXPECT_EQ(990, nt.x);
    EXPECT_EQ(758, nt.y);
}

TEST(TrayScan, ButtonRecordsOfBothWidths)
{
    TRAY_BUTTON64 b64 = {};
    b64.state = TBSTATE_ENABLED;
    b64.data = 0x00007FF612345678ull;
    b64.string = -1;
    TRAY_BUTTON32 b32 = {};
    b32.state = TBSTATE_HIDDEN;
    b32.data = 0x00A01234;
    b32.string = -1;
    TRAY_BUTTON_INFO info;
    ParseTrayButton(&b64, true, &info);
    EXPECT_EQ(TBSTATE_ENABLED, info.state);
    EXPECT_EQ(0x00007FF612345678ull, info.data);
    ParseTrayButton(&b32, false, &info);
    EXPECT_EQ(TBSTATE_HIDDEN, info.state);
    EXPECT_EQ(0x00A01234u, info.data);
}

TEST(TrayScan, ItemDataMatchesOwnerAndIdForBothWidths)
{
    HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x0003012Au));
    TRAY_ITEM64 item64 = { 0x0003012Au, 1 };
    TRAY_ITEM32 item32 = { 0x0003012Au, 1 };
    EXPECT_TRUE(TrayItemMatches(&item64, true, owner, 1));
    EXPECT_TRUE(TrayItemMatches(&item32, false, owner, 1));
    EXPECT_FALSE(TrayItemMatches(&item64, true, owner, 2));
    EXPECT_FALSE(TrayItemMatches(&item32, false, owner, 2));
    HWND other = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x0003012Cu));
    EXPECT_FALSE(TrayItemMatches(&item64, true, other, 1));

    // A 64-bit shell may keep the handle sign-extended; the id then follows
    // at offset 8, where the 32-bit layout would find the handle's high half.
    TRAY_ITEM64 extended = { 0xFFFFFFFF8003012Aull, 3 };
    HWND high = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x8003012Au));
    EXPECT_TRUE(TrayItemMatches(&extended, true, high, 3));
    EXPECT_FALSE(TrayItemMatches(&extended, false, high, 3));
}
