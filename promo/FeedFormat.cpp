#include "promo/FeedFormat.h"

#include "base/XmlFile.h"

#include <tinyxml.h>

#include <cstring>

namespace {

const int64_t kSecondsPerDay = 86400;
const int64_t kStaleDays = 2;

} // namespace

int ParseFeed(const char* data, size_t size, FEED_TEXT* feed)
{
    if (!data || !feed)
        return FEED_UNREADABLE;
    // Parsed from a padded copy: the bytes come from the network, and TinyXML
    // reads past the end of a bare text that stops inside a UTF-8 sequence.
    // A NUL inside the data ends the text there, as it would for a file.
    TiXmlDocument document;
    if (!ParseXmlText(&document, std::string(data, size)))
        return FEED_UNREADABLE;
    const TiXmlElement* root = document.FirstChildElement();
    if (!root || std::strcmp(root->Value(), "Harrowmere_AD") != 0)
        return FEED_WRONG_ROOT;

    FEED_TEXT out;
    out.serial = OptionalAttribute(root, "Serial");
    out.expires = OptionalAttribute(root, "Expires");
    if (const TiXmlElement* main = root->FirstChildElement("Main")) {
        out.hasMain = true;
        out.url = OptionalAttribute(main, "Url");
        out.tooltip = OptionalAttribute(main, "Tooltip");
        out.image = OptionalAttribute(main, "Image");
    }
    if (const TiXmlElement* banner = root->FirstChildElement("Banner")) {
        out.hasBanner = true;
        for (const TiXmlElement* item = banner->FirstChildElement("Item"); item;
             item = item->NextSiblingElement("Item"))
            out.items.push_back({ OptionalAttribute(item, "Text"), OptionalAttribute(item, "Tooltip"), OptionalAttribute(item, "Url") });
    }
    *feed = std::move(out);
    return FEED_OK;
}

FEED_UPDATE PlanFeedUpdate(int parseResult, const FEED_TEXT& feed)
{
    FEED_UPDATE update;
    if (parseResult != FEED_OK || !feed.hasMain)
        return update;
    if (!(update.url = feed.url) || !(update.tooltip = feed.tooltip) || !(update.image = feed.image))
        return update;
    if (!feed.hasBanner || feed.items.empty())
        return update;
    update.replaceItems = true;
    for (const FEED_ITEM_TEXT& item : feed.items) {
        if (!item.text || !item.tooltip || !item.url)
            return update;
        update.items.push_back({ *item.text, *item.tooltip, *item.url });
    }
    update.complete = true;
    return update;
}

std::string ImageNameOf(const std::string& image)
{
    const size_t slash = image.rfind('/');
    return slash == std::string::npos ? image : image.substr(slash + 1);
}

bool IsFeedStale(int64_t lastWriteTime, int64_t now)
{
    return now < lastWriteTime || (now - lastWriteTime) / kSecondsPerDay >= kStaleDays;
}
