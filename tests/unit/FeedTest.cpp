// The promotion feed: what a feed changes, its picture's local name and the
// age rule. (Its download is seen through the promotion area.)
#include "promo/FeedFetch.h"

#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace {

std::string Feed(const std::string& main, const std::string& banner)
{
    return "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Harrowmere_AD>" + main + banner + "</Harrowmere_AD>";
}

const char kMain[] = "<Main Url=\"http://u/\" Tooltip=\"tip\" Image=\"http://h/p/pic.gif\"/>";
const char kItem[] = "<Item Text=\"t\" Tooltip=\"tt\" Url=\"http://i/\"/>";

TEST(Feed, WhatAFeedChanges)
{
    const struct {
        const char* what;
        std::string xml;
        bool url, tooltip, image, replaceItems;
        size_t items;
        bool complete;
    } cases[] = {
        { "complete", Feed(kMain, std::string("<Banner>") + kItem + kItem + "</Banner>"), true, true, true, true, 2,
          true },
        { "second item without Url",
          Feed(kMain, std::string("<Banner>") + kItem + "<Item Text=\"t\" Tooltip=\"tt\"/>" + kItem + "</Banner>"),
          true, true, true, true, 1, false },
        { "other elements in the banner", Feed(kMain, std::string("<Banner><Other/>") + kItem + "</Banner>"), true,
          true, true, true, 1, true },
        { "banner without items", Feed(kMain, "<Banner/>"), true, true, true, false, 0, false },
        { "no banner", Feed(kMain, ""), true, true, true, false, 0, false },
        { "no Tooltip", Feed("<Main Url=\"u\" Image=\"i\"/>", "<Banner/>"), true, false, false, false, 0, false },
        { "no Main", Feed("", std::string("<Banner>") + kItem + "</Banner>"), false, false, false, false, 0, false },
        { "wrong first element", "<harrowmere_ad>" + std::string(kMain) + "</harrowmere_ad>", false, false, false,
          false, 0, false },
        { "not XML", "<Harrowmere_AD>", false, false, false, false, 0, false },
        { "cut off inside a UTF-8 sequence", "<Harrowmere_AD><Main Url=\"u\xF0", false, false, false, false, 0, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FEED_TEXT text;
        const FEED_UPDATE update = PlanFeedUpdate(ParseFeed(c.xml.data(), c.xml.size(), &text), text);
        EXPECT_EQ(c.url, update.url.has_value());
        EXPECT_EQ(c.tooltip, update.tooltip.has_value());
        EXPECT_EQ(c.image, update.image.has_value());
        EXPECT_EQ(c.replaceItems, update.replaceItems);
        EXPECT_EQ(c.items, update.items.size());
        EXPECT_EQ(c.complete, update.complete);
    }
}

TEST(Feed, PictureNamesStayInTheirFolder)
{
    const std::wstring folder = L"C:\\P\\";
    const struct {
        const char* image;
        const wchar_t* path; // empty: refused
    } cases[] = {
        { "http://h/ad/pic.gif", L"C:\\P\\AD\\pic.gif" },
        { "pic.gif", L"C:\\P\\AD\\pic.gif" },
        { "http://h/ad/", L"" },
        { "http://h/..\\..\\evil.exe", L"" },
        { "http://h/x/..", L"" },
        { "http://h/C:evil.gif", L"" },
        { "\\\\srv\\share\\pic.gif", L"" },
        { "http://h/a%2F..%2Fpic.gif", L"C:\\P\\AD\\a%2F..%2Fpic.gif" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.path, FeedPicturePath(folder, kFeedFolder, c.image)) << c.image;
}

TEST(Feed, FetchedAgainAtTwoDaysOrFromTheFuture)
{
    const int64_t now = 1700000000, hour = 3600;
    EXPECT_FALSE(IsFeedStale(now - 47 * hour, now));
    EXPECT_TRUE(IsFeedStale(now - 48 * hour, now));
    EXPECT_TRUE(IsFeedStale(now + 60, now));
    EXPECT_FALSE(IsFeedStale(now, now));
}

} // namespace
