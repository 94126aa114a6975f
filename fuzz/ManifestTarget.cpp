// Fuzz target: the update manifest as the programs take it from the network,
// starting from its signature (fuzz/FuzzSigned.h), then the reader and the
// serial, expiry and architecture checks behind it. Besides memory safety:
// the reader only ever sees bytes whose signature holds; a manifest the
// checks accept has a serial above the floor and an expiry after "now".
// (ManifestParse fuzzes the reader on any bytes.)
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzSigned.h"
#include "update/ManifestFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::SIGNED_INPUT input = fuzz::ReadSignedInput(data, size);
    if (fuzz::CheckSignature(input) != SIGNATURE_OK)
        return 0;
    std::vector<ManifestEntry> entries;
    MANIFEST_HEADER header;
    if (ParseManifest(input.data.data(), input.data.size(), &entries, &header) != MANIFEST_OK)
        return 0;
    const FRESHNESS_FLOOR floor{ 100, false, 1796688000 };
    uint64_t serial = 0;
    if (CheckManifestTrust(header, floor, "x64", &serial) == MANIFEST_OK) {
        FUZZ_CHECK(serial > floor.serial && header.arch && *header.arch == "x64");
        int64_t expires = 0;
        FUZZ_CHECK(header.expires && ParseUtcTime(*header.expires, &expires) && expires > floor.now);
    }
    for (const ManifestEntry& entry : entries)
        if (entry.sha256 && IsSha256Text(*entry.sha256))
            FUZZ_CHECK(entry.sha256->size() == 64);
    return 0;
}
