// The test sets up the registry with helpers from Vista on; the tests run on
// x86_64 only, so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// Stored placement and column widths: what texts are taken, what is refused,
// and the round trip through a scratch registry key.
#include "base/ColumnWidths.h"
#include "base/WindowPlacement.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(WindowState, NumberListsFollowTheExactAndPrefixRules)
{
    struct Case {
        const wchar_t* text;
        size_t count;
        NumberListRule rule;
        bool parses;
        std::vector<int> numbers;
    } cases[] = {
        { L"300,80,80,80,80,80", 6, NumberListRule::Exact, true, { 300, 80, 80, 80, 80, 80 } },
        { L"300,80,80,80,80,80 ", 6, NumberListRule::Exact, true, { 300, 80, 80, 80, 80, 80 } },
        { L" 1, -2,+3", 3, NumberListRule::Exact, true, { 1, -2, 3 } },
        { L"300,80,80,80,80", 6, NumberListRule::Exact, false, {} },        // one short
        { L"300,80,80,80,80,80,9", 6, NumberListRule::Exact, false, {} },   // one too many
        { L"300,80,80,80,80,80x", 6, NumberListRule::Exact, false, {} },
        { L"70,71,72", 3, NumberListRule::Prefix, true, { 70, 71, 72 } },
        { L"70,71,72,73,junk", 3, NumberListRule::Prefix, true, { 70, 71, 72 } },
        { L"70,71", 3, NumberListRule::Prefix, false, {} },
        { L"70,,72", 3, NumberListRule::Prefix, false, {} },
        { L"", 3, NumberListRule::Prefix, false, {} },
        { L"a,b,c", 3, NumberListRule::Prefix, false, {} },
        { L"2147483647,-2147483648,0", 3, NumberListRule::Exact, true, { 2147483647, -2147483647 - 1, 0 } },
        { L"2147483648,0,0", 3, NumberListRule::Exact, false, {} },
    };
    for (const Case& c : cases) {
        std::vector<int> numbers = { 42 };
        EXPECT_EQ(c.parses, ParseNumberList(c.text, c.count, c.rule, &numbers)) << c.text;
        EXPECT_EQ(c.parses ? c.numbers : std::vector<int>{ 42 }, numbers) << c.text;
    }
    EXPECT_EQ(L"300,80,-1", FormatNumberList({ 300, 80, -1 }));
}

TEST(WindowState, ColumnWidthsRefuseNegativeAndHugeWidths)
{
    std::vector<int> widths;
    EXPECT_TRUE(ParseColumnWidths(L"0,70,32767", 3, NumberListRule::Exact, &widths));
    EXPECT_FALSE(ParseColumnWidths(L"70,-5,70", 3, NumberListRule::Exact, &widths));
    EXPECT_FALSE(ParseColumnWidths(L"70,70,40000", 3, NumberListRule::Prefix, &widths));
    EXPECT_EQ((std::vector<int>{ 0, 70, 32767 }), widths);
}

TEST(WindowState, PlacementNeedsSixNumbersAndAnArea)
{
    STORED_PLACEMENT p = {};
    ASSERT_TRUE(ParsePlacement(L"10,20,610,420,1,0", &p));
    EXPECT_EQ(10, p.normal.left);
    EXPECT_EQ(420, p.normal.bottom);
    EXPECT_EQ(1, p.showCmd);
    EXPECT_EQ(L"10,20,610,420,1,0", FormatPlacement(p));
    for (const wchar_t* bad : { L"10,20,610,420,1", L"10,20,610,420,1,0,0", L"610,20,10,420,1,0",
                                L"10,20,610,20,1,0", L"", L"x" }) {
        STORED_PLACEMENT untouched = p;
        EXPECT_FALSE(ParsePlacement(bad, &untouched)) << bad;
        EXPECT_EQ(10, untouched.normal.left);
    }
}

TEST(WindowState, HiddenAndMinimisedWindowsComeBackShown)
{
    struct Case {
        int stored, restored;
    } cases[] = {
        { SW_HIDE, SW_SHOW },          { SW_SHOWMINIMIZED, SW_SHOW }, { SW_MINIMIZE, SW_SHOW },
        { SW_SHOWNORMAL, SW_SHOWNORMAL }, { SW_SHOWMAXIMIZED, SW_SHOWMAXIMIZED },
        { SW_SHOWMINNOACTIVE, SW_SHOWMINNOACTIVE }, { 99, SW_SHOWNORMAL }, { -3, SW_SHOWNORMAL },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.restored, ShowCommandToRestore(c.stored)) << c.stored;
}

class WindowStateStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_key.path = L"Software\\HarrowmereWindowStateTest_" + std::to_wstring(GetCurrentProcessId());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, m_key.path.c_str()); RegDeleteKeyW(HKEY_CURRENT_USER, m_key.path.c_str()); }
    WindowStateKey m_key;
};

TEST_F(WindowStateStore, WidthsAndPlacementSurviveTheRegistryAndBadValuesAreRefused)
{
    std::vector<int> widths = { 1, 2, 3 };
    EXPECT_EQ(-1, LoadColumnWidths(m_key, L"RuleWndList", 6, NumberListRule::Exact, &widths));
    ASSERT_EQ(0, SaveColumnWidths(m_key, L"RuleWndList", { 310, 81, 82, 83, 84, 85 }));
    ASSERT_EQ(0, LoadColumnWidths(m_key, L"RuleWndList", 6, NumberListRule::Exact, &widths));
    EXPECT_EQ((std::vector<int>{ 310, 81, 82, 83, 84, 85 }), widths);
    // The same text read for a list of three columns: exact refuses, prefix takes the start.
    EXPECT_EQ(-2, LoadColumnWidths(m_key, L"RuleWndList", 3, NumberListRule::Exact, &widths));
    EXPECT_EQ(0, LoadColumnWidths(m_key, L"RuleWndList", 3, NumberListRule::Prefix, &widths));
    EXPECT_EQ((std::vector<int>{ 310, 81, 82 }), widths);

    // A value of the wrong type is refused and changes nothing.
    DWORD number = 5;
    RegSetKeyValueW(HKEY_CURRENT_USER, m_key.path.c_str(), L"InsertRegWndList", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(-2, LoadColumnWidths(m_key, L"InsertRegWndList", 3, NumberListRule::Prefix, &widths));
    EXPECT_EQ((std::vector<int>{ 310, 81, 82 }), widths);

    STORED_PLACEMENT p = { { 5, 6, 405, 306 }, SW_SHOWMAXIMIZED, 2 };
    ASSERT_EQ(0, SavePlacement(m_key, L"RuleWnd", p));
    STORED_PLACEMENT back = {};
    ASSERT_EQ(0, LoadPlacement(m_key, L"RuleWnd", &back));
    EXPECT_EQ(FormatPlacement(p), FormatPlacement(back));
    EXPECT_EQ(-1, LoadPlacement(m_key, L"NoSuchWnd", &back));
}

} // namespace
