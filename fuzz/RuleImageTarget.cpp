// Fuzz target: a rule table image as the driver receives it, any bytes. Each
// input is validated and matched against a few operations whether or not it
// is valid (matching stays within an image that was never validated), and
// for a valid image every identity that matching returns must belong to a
// record of the operation's kind. The image's index (built for any image, as
// the driver does for valid ones) stays within twice the image and answers
// exactly as the walk does.
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"
#include "fuzz/FuzzInput.h"

#include <string>
#include <vector>

namespace {

struct Operation {
    uint32_t kind;
    std::wstring param1;
    std::wstring param2;
    bool hasParam2;
};

const Operation kOperations[] = {
    { 0, L"C:\\Windows\\System32\\drivers\\etc\\hosts", L"", false },
    { 0, L"", L"", false },
    { 0, L"D:\\AUTORUN.INF", L"", true },
    { 0, std::wstring(1100, L'a'), L"", false },
    { 1, L"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"Updater", true },
    { 1, L"x", L"", false },
    { 2, L"C:\\Users\\a\\AppData\\Local\\Temp\\setup.exe", L"", false },
    { 3, L"out of range", L"", false },
};

uint32_t Read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Whether a record of a valid image has this kind and identity.
bool HasRecord(const uint8_t* image, uint32_t size, uint32_t kind, uint32_t id)
{
    for (uint32_t pos = RULE_IMAGE_HEADER_SIZE; pos < size;) {
        const uint8_t* record = image + pos;
        uint32_t recordSize = Read32(record + 8);
        FUZZ_CHECK(recordSize >= RULE_IMAGE_RECORD_MIN_SIZE && recordSize <= size - pos);
        if (Read32(record) == id && uint32_t(record[4] | record[5] << 8) == kind)
            return true;
        pos += recordSize;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    uint32_t imageSize = static_cast<uint32_t>(size);
    int valid = MatchValidateImage(data, imageSize);
    FUZZ_CHECK(valid <= 0 && valid >= MATCH_BAD_TEXT);
    uint32_t indexSize = MatchIndexSize(data, imageSize);
    FUZZ_CHECK(indexSize <= 2 * uint64_t(imageSize));
    std::vector<uint32_t> index(indexSize / 4);
    FUZZ_CHECK(indexSize == 0 || MatchBuildIndex(data, imageSize, index.data(), indexSize) == 0);
    for (const Operation& op : kOperations) {
        const wchar_t* param2 = op.hasParam2 ? op.param2.c_str() : nullptr;
        uint32_t id = 0, indexedId = 0;
        int found = MatchOperation(data, imageSize, op.kind, op.param1.c_str(), param2, &id);
        FUZZ_CHECK(found == 0 || found == 1);
        if (valid == 0 && found)
            FUZZ_CHECK(HasRecord(data, imageSize, op.kind, id));
        int indexed = MatchOperationIndexed(data, imageSize, index.empty() ? nullptr : index.data(), op.kind,
                                            op.param1.c_str(), param2, &indexedId);
        FUZZ_CHECK(indexed == found && indexedId == id);
    }
    return 0;
}
