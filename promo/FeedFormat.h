// The promotion feed "AD.xml" as data: the parser over the file's bytes, what
// of a feed is applied to the promotion area, the local name of its picture
// and the age rule. Plain code over TinyXML with no system calls, so that it
// can be called on any platform (fuzzing included).
//
//   <Harrowmere_AD Serial="7" Expires="2027-01-31">
//     <Main Url="http://..." Tooltip="..." Image="http://host/pic.gif" />
//     <Banner>
//       <Item Text="..." Tooltip="..." Url="http://..." />
//     </Banner>
//   </Harrowmere_AD>
//
// Attribute values are kept as the file's bytes (system ANSI code page).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct FEED_ITEM_TEXT {
    std::optional<std::string> text;
    std::optional<std::string> tooltip;
    std::optional<std::string> url;
};

// What the document holds: the first "Main" and the "Item" children of the
// first "Banner", each attribute present or not.
struct FEED_TEXT {
    std::optional<std::string> serial;  // "Serial" of "Harrowmere_AD": grows with every feed
    std::optional<std::string> expires; // "Expires": UTC date after which it is not taken
    bool hasMain = false;
    std::optional<std::string> url;     // "Main" "Url": opened when the picture is clicked
    std::optional<std::string> tooltip; // "Main" "Tooltip"
    std::optional<std::string> image;   // "Main" "Image": address of the picture
    bool hasBanner = false;
    std::vector<FEED_ITEM_TEXT> items;
};

enum FeedResult {
    FEED_OK = 0,
    FEED_UNREADABLE = -1, // not XML
    FEED_WRONG_ROOT = -2, // no element, or the first one is not "Harrowmere_AD"
};

// Parses `size` bytes of feed text (a FeedResult).
int ParseFeed(const char* data, size_t size, FEED_TEXT* feed);

struct FEED_ITEM {
    std::string text;
    std::string tooltip;
    std::string url;
};

// What a feed changes in the promotion area. The pieces are applied in order
// and the first missing one stops the rest: the click address, the tooltip,
// the picture, then the banner items (replacing the old ones only when the
// banner has a first item; an item lacking any attribute ends the list).
struct FEED_UPDATE {
    std::optional<std::string> url;
    std::optional<std::string> tooltip;
    std::optional<std::string> image;
    bool replaceItems = false;
    std::vector<FEED_ITEM> items;
    bool complete = false; // everything was there
};
FEED_UPDATE PlanFeedUpdate(int parseResult, const FEED_TEXT& feed);

// The picture's local file name: the text after the last forward slash of
// the "Image" address (all of it when there is none). The caller still checks
// that it is a plain file name.
std::string ImageNameOf(const std::string& image);

// A stored feed is fetched again when it is two days old or more, or when
// its time lies in the future (times in seconds).
bool IsFeedStale(int64_t lastWriteTime, int64_t now);
