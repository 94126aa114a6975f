#include "base/CmdLineParser.h"

#include <gtest/gtest.h>

#include <string>

TEST(CmdLineParser, BackgroundSwitchInItsAcceptedSpellings)
{
    struct Case {
        const wchar_t* line;
        bool present;
    } cases[] = {
        {L"\"C:\\Program Files\\Harrowmere\\Harrowmere.exe\" /background", true},
        {L"Harrowmere.exe -BACKGROUND", true},
        {L"Harrowmere.exe /Background:1", true},
        {L"Harrowmere.exe /background:\"yes please\"", true},
        {L"Harrowmere.exe /background /other", true},
        {L"Harrowmere.exe /backgroundx", false},
        {L"Harrowmere.exe /back", false},
        {L"Harrowmere.exe background", false},
        {L"Harrowmere.exe", false},
        {L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.present, CCmdLineParser(c.line).HasKey(L"background")) << std::wstring(c.line).size();
}

TEST(CmdLineParser, MinusInsideTheProgramPathStartsASwitchWithoutHidingTheRealOne)
{
    CCmdLineParser parser(L"\"C:\\my-tools\\Harrowmere.exe\" /background");
    EXPECT_TRUE(parser.HasKey(L"background"));
    EXPECT_TRUE(parser.HasKey(L"tools\\harrowmere.exe\""));
    EXPECT_EQ(2u, parser.Switches().size());
}

TEST(CmdLineParser, ValuesPlainQuotedAndUnterminated)
{
    CCmdLineParser parser(L"x.exe /a:v1 /B:\"two words\" /c /d:C:\\dir /e:x-y /f:\"open end");
    std::wstring value;
    ASSERT_TRUE(parser.GetValue(L"a", &value));
    EXPECT_EQ(L"v1", value);
    ASSERT_TRUE(parser.GetValue(L"b", &value));
    EXPECT_EQ(L"two words", value);
    ASSERT_TRUE(parser.GetValue(L"c", &value));
    EXPECT_EQ(L"", value);
    ASSERT_TRUE(parser.GetValue(L"d", &value));
    EXPECT_EQ(L"C:\\dir", value);
    // A "-" inside a value does not start a switch.
    ASSERT_TRUE(parser.GetValue(L"e", &value));
    EXPECT_EQ(L"x-y", value);
    EXPECT_FALSE(parser.HasKey(L"y"));
    // A quoted value without its closing quote runs to the end of the line.
    ASSERT_TRUE(parser.GetValue(L"f", &value));
    EXPECT_EQ(L"open end", value);
    EXPECT_EQ(6u, parser.Switches().size());
}

TEST(CmdLineParser, EdgesOfTheLine)
{
    std::wstring value = L"unchanged";
    // A colon that ends the line gives an empty value.
    CCmdLineParser colon(L"x.exe /a:");
    ASSERT_TRUE(colon.GetValue(L"a", &value));
    EXPECT_EQ(L"", value);

    // A lone switch character at the end, or one followed by a blank, stores nothing.
    EXPECT_TRUE(CCmdLineParser(L"x.exe /").Switches().empty());
    CCmdLineParser blank(L"x.exe / /b :c");
    EXPECT_EQ(1u, blank.Switches().size());
    EXPECT_TRUE(blank.HasKey(L"b"));

    // An empty name before a colon is not stored, but parsing goes on.
    CCmdLineParser emptyName(L"x.exe /:v -q");
    EXPECT_TRUE(emptyName.HasKey(L"q"));
    EXPECT_EQ(1u, emptyName.Switches().size());

    EXPECT_TRUE(CCmdLineParser(nullptr).Switches().empty());
    EXPECT_FALSE(CCmdLineParser(L"x /a").HasKey(nullptr));
}

TEST(CmdLineParser, CaseSensitiveParserKeepsNamesAsWritten)
{
    CCmdLineParser sensitive(L"x.exe /Abc", true);
    EXPECT_TRUE(sensitive.HasKey(L"Abc"));
    EXPECT_FALSE(sensitive.HasKey(L"abc"));

    CCmdLineParser insensitive(L"x.exe /Abc");
    EXPECT_TRUE(insensitive.HasKey(L"ABC"));
    EXPECT_EQ(1u, insensitive.Switches().count(L"abc"));
}
