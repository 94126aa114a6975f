// Fuzz target: the update manifest reader on any bytes (the file arrives over
// the network). Besides memory safety: entries are handed out only with a
// success; the numbers read as strtol with a 32-bit long would; and an entry
// whose "LocalPath" and "Name" pass the path tests joins to a path that stays
// inside the program folder (the one property that keeps a hostile manifest
// from writing elsewhere).
#include "fuzz/FuzzInput.h"
#include "update/ManifestFormat.h"
#include "net/SafeName.h"

#include <climits>

namespace {

// strtoll clamped to 32 bits, with the same digits: the reference the
// updater's size and checksum comparison relies on.
void CheckNumber(const std::optional<std::string>& text)
{
    if (!text)
        return;
    long long wide = strtoll(text->c_str(), nullptr, 10);
    int32_t expected = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : int32_t(wide);
    FUZZ_CHECK(ParseDecimal32(*text) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<ManifestEntry> entries(1); // a failed read must leave this alone
    int result = ParseManifest(reinterpret_cast<const char*>(data), size, &entries);
    FUZZ_CHECK(result <= MANIFEST_OK && result >= MANIFEST_NO_FILE_LIST);
    if (result != MANIFEST_OK) {
        FUZZ_CHECK(entries.size() == 1 && !entries[0].name);
        return 0;
    }
    for (const ManifestEntry& entry : entries) {
        CheckNumber(entry.size);
        CheckNumber(entry.crc);
        if (!entry.name || !entry.localPath)
            continue;
        std::wstring name = fuzz::Widen(*entry.name);
        std::wstring folder = fuzz::Widen(*entry.localPath);
        if (IsRelativeFolder(folder) && IsPlainFileName(name))
            FUZZ_CHECK(fuzz::JoinsInside(folder, name));
    }
    return 0;
}
