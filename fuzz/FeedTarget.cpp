// Fuzz target: the promotion feed as the guard takes it from the network,
// starting from its signature (fuzz/FuzzSigned.h), then the reader, the
// serial and expiry checks and what the promotion area makes of it. Besides
// memory safety: the reader only ever sees bytes whose signature holds; a
// feed the checks refuse changes nothing shown. (FeedParse fuzzes the reader
// on any bytes.)
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzSigned.h"
#include "net/Freshness.h"
#include "promo/FeedFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::SIGNED_INPUT input = fuzz::ReadSignedInput(data, size);
    if (fuzz::CheckSignature(input) != SIGNATURE_OK)
        return 0;
    FEED_TEXT feed;
    int result = ParseFeed(input.data.data(), input.data.size(), &feed);
    const FRESHNESS_FLOOR floor{ 100, true, 1796688000 };
    uint64_t serial = 0;
    if (result == FEED_OK && CheckFreshness(feed.serial, feed.expires, floor, &serial) != FRESH_OK)
        result = FEED_UNREADABLE;
    if (result == FEED_OK)
        FUZZ_CHECK(serial >= floor.serial);
    const FEED_UPDATE plan = PlanFeedUpdate(result, feed);
    if (result != FEED_OK)
        FUZZ_CHECK(!plan.url && !plan.tooltip && !plan.image && !plan.replaceItems && plan.items.empty());
    return 0;
}
