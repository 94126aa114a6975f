// Fuzz target: the index the driver builds over each rule table it accepts.
// For any image the validator accepts, matching through the index must give
// the walk's answer, for fixed operations and for texts made from the
// image's own patterns (so that rules do match). The index is built in a
// buffer of the size it asks for (in whole words), so a write past it is
// seen.
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"
#include "fuzz/FuzzInput.h"

#include <string>
#include <vector>

namespace {

uint32_t Read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A text that the pattern in `payload` matches, or nearly: '*' left out,
// '?' as 'x', up to the payload's NUL.
std::u16string TextFor(const uint8_t* payload, uint32_t length)
{
    std::u16string text;
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        char16_t c = char16_t(payload[i] | payload[i + 1] << 8);
        if (c == 0)
            break;
        if (c != u'*')
            text += c == u'?' ? u'x' : c;
    }
    return text;
}

struct Operation {
    uint32_t kind;
    std::u16string param1;
    std::u16string param2;
};

// Operations aimed at the records of a valid image: each record's patterns
// turned into texts, under the record's kind and its neighbours'.
std::vector<Operation> OperationsFor(const uint8_t* image, uint32_t size)
{
    std::vector<Operation> ops = {
        { 0, u"C:\\Windows\\System32\\drivers\\etc\\hosts", u"" },
        { 1, u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"Updater" },
        { 2, u"D:\\Temp\\setup.exe", u"" },
        { 0, u"", u"" },
    };
    for (uint32_t pos = RULE_IMAGE_HEADER_SIZE; pos + RULE_IMAGE_RECORD_MIN_SIZE <= size && ops.size() < 64;) {
        const uint8_t* record = image + pos;
        uint32_t recordSize = Read32(record + 8);
        uint32_t count = Read32(record + 12);
        uint32_t payloadSize = recordSize - RULE_IMAGE_RECORD_MIN_SIZE;
        const uint8_t* payload = record + 24;
        Operation op{ uint32_t(record[4] | record[5] << 8), u"", u"" };
        if (count >= 1) {
            uint32_t end = count == 2 ? Read32(record + 20) : payloadSize;
            op.param1 = TextFor(payload, end);
            if (count == 2)
                op.param2 = TextFor(payload + end, payloadSize - end);
        }
        ops.push_back(op);
        Operation other = op;
        other.kind = (op.kind + 1) % RULE_IMAGE_KIND_COUNT;
        ops.push_back(other);
        pos += recordSize;
    }
    return ops;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    const uint32_t imageSize = static_cast<uint32_t>(size);
    if (MatchValidateImage(data, imageSize) != 0)
        return 0; // the driver indexes only the tables it accepts
    const uint32_t indexSize = MatchIndexSize(data, imageSize);
    FUZZ_CHECK(uint64_t(indexSize) <= 2ull * imageSize);
    std::vector<uint32_t> words((indexSize + 3) / 4);
    void* index = nullptr;
    if (indexSize != 0) {
        FUZZ_CHECK(MatchBuildIndex(data, imageSize, words.data(), indexSize) == 0);
        index = words.data();
    }
    for (const Operation& op : OperationsFor(data, imageSize)) {
        const wchar_t* p1 = reinterpret_cast<const wchar_t*>(op.param1.c_str());
        const wchar_t* p2 = op.kind == 1 ? reinterpret_cast<const wchar_t*>(op.param2.c_str()) : nullptr;
        uint32_t walked = 0, indexed = 0;
        int byWalk = MatchOperation(data, imageSize, op.kind, p1, p2, &walked);
        int byIndex = MatchOperationIndexed(data, imageSize, index, op.kind, p1, p2, &indexed);
        FUZZ_CHECK(byWalk == byIndex);
        FUZZ_CHECK(!byWalk || walked == indexed);
    }
    return 0;
}
