// Fuzz target: the promotion feed reader on any bytes (the file arrives over
// the network), with what the promotion area makes of it. Besides memory
// safety: a failed read changes nothing; the plan applies the pieces in order
// and only what the feed holds; the picture's local name has no forward
// slash, and when it passes the name test it stays in its folder.
#include "fuzz/FuzzInput.h"
#include "promo/FeedFormat.h"
#include "net/SafeName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FEED_TEXT feed;
    feed.hasMain = true; // a failed read must leave this alone
    int result = ParseFeed(reinterpret_cast<const char*>(data), size, &feed);
    FUZZ_CHECK(result == FEED_OK || result == FEED_UNREADABLE || result == FEED_WRONG_ROOT);
    if (result != FEED_OK)
        FUZZ_CHECK(feed.hasMain && !feed.url && feed.items.empty());
    FUZZ_CHECK(feed.hasBanner || feed.items.empty());

    FEED_UPDATE plan = PlanFeedUpdate(result, feed);
    if (result != FEED_OK) {
        FUZZ_CHECK(!plan.url && !plan.tooltip && !plan.image && !plan.replaceItems && !plan.complete);
        return 0;
    }
    // Each piece is there only when the ones before it are.
    FUZZ_CHECK(!plan.tooltip || plan.url);
    FUZZ_CHECK(!plan.image || plan.tooltip);
    FUZZ_CHECK(!plan.replaceItems || (plan.image && !feed.items.empty()));
    FUZZ_CHECK(plan.items.size() <= feed.items.size());
    FUZZ_CHECK(plan.replaceItems || plan.items.empty());
    FUZZ_CHECK(!plan.complete || (plan.replaceItems && plan.items.size() == feed.items.size()));
    if (plan.url)
        FUZZ_CHECK(plan.url == feed.url);
    for (size_t i = 0; i < plan.items.size(); ++i)
        FUZZ_CHECK(plan.items[i].text == feed.items[i].text && plan.items[i].url == feed.items[i].url);

    if (feed.image) {
        std::string local = ImageNameOf(*feed.image);
        FUZZ_CHECK(local.find('/') == std::string::npos);
        FUZZ_CHECK(feed.image->size() >= local.size() &&
                   feed.image->compare(feed.image->size() - local.size(), local.size(), local) == 0);
        std::wstring name = fuzz::Widen(local);
        if (IsPlainFileName(name))
            FUZZ_CHECK(fuzz::JoinsInside(L"", name));
    }
    return 0;
}
