#include "driver/common/Matcher.h"

#include "unit/LittleEndian.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

using bytes::Put32;

void Set32(Bytes& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// UTF-16 text with its NUL, as a payload.
Bytes Text(const std::wstring& text)
{
    Bytes out;
    for (size_t i = 0; i <= text.size(); ++i) {
        wchar_t c = i < text.size() ? text[i] : L'\0';
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

const Bytes kAny; // an empty payload

// An Integer parameter's payload: its four bytes, no NUL.
Bytes Integer(uint32_t value)
{
    Bytes out;
    Put32(out, value);
    return out;
}

Bytes Record(uint32_t id, uint16_t kind, const std::vector<Bytes>& payloads)
{
    Bytes out;
    uint32_t total = 0;
    for (const Bytes& p : payloads)
        total += static_cast<uint32_t>(p.size());
    Put32(out, id);
    Put32(out, kind);
    Put32(out, 28 + total);
    Put32(out, static_cast<uint32_t>(payloads.size()));
    Put32(out, 0);
    Put32(out, payloads.size() > 1 ? static_cast<uint32_t>(payloads[0].size()) : 0);
    for (const Bytes& p : payloads)
        out.insert(out.end(), p.begin(), p.end());
    Put32(out, 0);
    return out;
}

// An image of records in the order given; the header describes records that
// are already sorted by kind.
Bytes Image(const std::vector<Bytes>& records)
{
    Bytes out(12, 0);
    uint32_t offset[3] = {0, 0, 0};
    bool seen[3] = {false, false, false};
    uint32_t at = 12;
    for (const Bytes& r : records) {
        uint16_t kind = static_cast<uint16_t>(r[4] | r[5] << 8);
        for (uint16_t k = 0; k <= kind && k < 3; ++k) {
            if (!seen[k]) {
                seen[k] = true;
                offset[k] = at;
            }
        }
        out.insert(out.end(), r.begin(), r.end());
        at += static_cast<uint32_t>(r.size());
    }
    for (int k = 0; k < 3; ++k) {
        if (!seen[k])
            offset[k] = at;
        Set32(out, 4 * k, offset[k]);
    }
    return out;
}

int Validate(const Bytes& image)
{
    return MatchValidateImage(image.data(), static_cast<uint32_t>(image.size()));
}

// The matching rule's identity, or 0.
uint32_t Match(const Bytes& image, uint32_t kind, const wchar_t* p1, const wchar_t* p2 = nullptr)
{
    uint32_t id = 0;
    int found = MatchOperation(image.data(), static_cast<uint32_t>(image.size()), kind, p1, p2, &id);
    EXPECT_EQ(found != 0, id != 0);
    return found ? id : 0;
}

bool Wild(const wchar_t* pattern, const wchar_t* text)
{
    return MatchWildcard(reinterpret_cast<const uint16_t*>(pattern),
                         reinterpret_cast<const uint16_t*>(text)) != 0;
}

// A valid image used as the base of the malformed ones: one file rule, one
// registry rule.
Bytes Sample()
{
    return Image({Record(7, 0, {Text(L"C:\\*")}), Record(8, 1, {Text(L"HKLM\\*"), Text(L"v")})});
}

const size_t kSecond = 12 + 28 + 10; // offset of the sample's second record

} // namespace

TEST(Matcher, WellFormedImagesAreAccepted)
{
    EXPECT_EQ(Validate(Sample()), 0);
    EXPECT_EQ(Validate(Image({})), 0);
    EXPECT_EQ(Validate(Image({Record(1, 2, {})})), 0);
    EXPECT_EQ(Validate(Image({Record(1, 1, {kAny, kAny})})), 0);
    EXPECT_EQ(Validate(Image({Record(1, 1, {kAny, Text(L"x")})})), 0);
}

TEST(Matcher, IntegerParametersLeaveTheOtherRulesInForce)
{
    // 70000 and the next two have no 16-bit NUL in their four bytes.
    for (uint32_t value : {70000u, 0xFFFFFFFFu, 0x00010001u, 5u}) {
        Bytes image = Image({Record(1, 0, {Text(L"C:\\guarded\\*")}), Record(2, 1, {Integer(value), Text(L"v*")}),
                             Record(3, 1, {Text(L"HKLM\\Run"), Integer(value)}), Record(4, 2, {Text(L"*.exe")})});
        EXPECT_EQ(Validate(image), 0) << value;
        EXPECT_EQ(Match(image, 0, L"C:\\Guarded\\a.txt"), 1u) << value;
        EXPECT_EQ(Match(image, 2, L"x.exe"), 4u) << value;
        EXPECT_EQ(Match(image, 1, L"HKLM\\Run", L"value"), 0u) << value;
    }
}

TEST(Matcher, MalformedImagesAreRefused)
{
    struct Case {
        const char* name;
        Bytes image;
        int code;
    };
    std::vector<Case> cases;
    auto corrupt = [&](const char* name, int code, auto change) {
        Bytes image = Sample();
        change(image);
        cases.push_back({name, image, code});
    };
    cases.push_back({"shorter than the header", Bytes(11, 0), MATCH_BAD_SIZE});
    corrupt("truncated record", MATCH_BAD_HEADER, [](Bytes& b) { b.pop_back(); });
    corrupt("truncated record, header fixed", MATCH_BAD_RECORD, [](Bytes& b) {
        b.resize(b.size() - 6);
        Set32(b, 8, static_cast<uint32_t>(b.size()));
    });
    corrupt("header offset past the end", MATCH_BAD_HEADER, [](Bytes& b) { Set32(b, 8, 1000); });
    corrupt("header offset inside the header", MATCH_BAD_HEADER, [](Bytes& b) { Set32(b, 0, 4); });
    corrupt("header offsets out of order", MATCH_BAD_HEADER,
            [](Bytes& b) { Set32(b, 0, static_cast<uint32_t>(kSecond)); Set32(b, 4, 12); });
    corrupt("header offset inside a record", MATCH_BAD_HEADER, [](Bytes& b) { Set32(b, 4, 20); });
    corrupt("record shorter than 28 bytes", MATCH_BAD_RECORD, [](Bytes& b) { Set32(b, 12 + 8, 20); });
    corrupt("record size past the end", MATCH_BAD_RECORD, [](Bytes& b) { Set32(b, 12 + 8, 4000); });
    corrupt("record size wraps around", MATCH_BAD_RECORD,
            [](Bytes& b) { Set32(b, 12 + 8, 0xFFFFFFF0u); });
    // The first record claims 20 bytes of the second: the walk lands inside it.
    corrupt("overlapping records", MATCH_BAD_RECORD, [](Bytes& b) { Set32(b, 12 + 8, 38 + 20); });
    corrupt("kind above 2", MATCH_BAD_RECORD, [](Bytes& b) { b[kSecond + 4] = 3; });
    corrupt("three parameters", MATCH_BAD_PARAMS, [](Bytes& b) { Set32(b, kSecond + 12, 3); });
    corrupt("payload offset past the record", MATCH_BAD_PARAMS,
            [](Bytes& b) { Set32(b, kSecond + 20, 200); });
    corrupt("first payload not at 0", MATCH_BAD_PARAMS, [](Bytes& b) { Set32(b, 12 + 16, 2); });
    corrupt("payloads without parameters", MATCH_BAD_PARAMS, [](Bytes& b) { Set32(b, 12 + 12, 0); });
    corrupt("second payload overlapping the first", MATCH_BAD_TEXT,
            [](Bytes& b) { Set32(b, kSecond + 20, 6); }); // first payload "HKL" loses its NUL
    corrupt("unterminated text", MATCH_BAD_TEXT, [](Bytes& b) { b[12 + 24 + 8] = 'x'; });
    corrupt("odd-sized payload", MATCH_BAD_TEXT, [](Bytes& b) { Set32(b, kSecond + 20, 13); });

    for (const Case& c : cases)
        EXPECT_EQ(Validate(c.image), c.code) << c.name;
    EXPECT_EQ(MatchValidateImage(nullptr, 100), MATCH_BAD_SIZE);
}

TEST(Matcher, WildcardCases)
{
    struct Case {
        const wchar_t* pattern;
        const wchar_t* text;
        bool match;
    } cases[] = {
        {L"", L"", true},
        {L"", L"a", false},
        {L"*", L"", true},
        {L"*", L"C:\\any\\path\\at all.txt", true},
        {L"C:\\*.exe", L"C:\\Windows\\System32\\cmd.exe", true}, // * spans backslashes
        {L"C:\\*.exe", L"C:\\Windows\\cmd.exe.bak", false},     // whole text must match
        {L"C:\\*.exe", L"D:\\cmd.exe", false},
        {L"?", L"a", true},
        {L"?", L"", false},
        {L"?", L"ab", false},
        {L"a?c", L"abc", true},
        {L"a?c", L"ac", false},
        {L"*?", L"", false},
        {L"*?", L"x", true},
        {L"**a**", L"bab", true},
        {L"a*b*c", L"aXXbYYc", true},
        {L"a*b*c", L"aXXcYYb", false},
        {L"*abc", L"ababc", true}, // needs backtracking after a partial match
        {L"*aab", L"aaab", true},
        {L"a*", L"a", true},
        {L"abc", L"ab", false},
        {L"ab", L"abc", false},
        {L"HKLM\\Software\\*\\Run", L"HKLM\\Software\\Microsoft\\Windows\\Run", true},
        {L"文件\\*.doc", L"文件\\报告.doc", true},
        {L"文件\\*.doc", L"文档\\报告.doc", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Wild(c.pattern, c.text), c.match) << "'" << testing::PrintToString(std::wstring(c.pattern))
                                                    << "' vs '" << testing::PrintToString(std::wstring(c.text)) << "'";
}

TEST(Matcher, LettersCompareWithoutRegardToCase)
{
    struct Case {
        const wchar_t* pattern;
        const wchar_t* text;
        bool match;
    } cases[] = {
        {L"c:\\windows\\*.EXE", L"C:\\WINDOWS\\notepad.exe", true},
        {L"\x00C9t\x00E9", L"\x00E9T\x00C9", true},        // É/é (Latin-1)
        {L"\x00DF", L"\x00DF", true},                      // ß has no upper case here
        {L"\x00D7", L"\x00F7", false},                     // × and ÷ are not a pair
        {L"\x0178", L"\x00FF", true},                      // Ÿ/ÿ
        {L"\x0141\x00F3" L"d\x017A", L"\x0142\x00D3" L"D\x0179", true}, // Łódź / łÓDŹ
        {L"\x0414\x043E\x043C", L"\x0434\x041E\x041C", true},   // Дом / дОМ (Cyrillic)
        {L"\x0401", L"\x0451", true},                           // Ё/ё
        {L"\x03A3", L"\x03C3", true},                           // Σ/σ (Greek)
        {L"\xFF21", L"\xFF41", true},                           // full-width A/a
        {L"[", L"{", false},                                    // not letters
        {L"@", L"`", false},
        {L"\x4E2D", L"\x4E2E", false},
        {L"Nguy\x1EC5n", L"NGUY\x1EC4N", true},                // Nguyễn (Latin Extended Additional)
        {L"\x01A1\x01B0", L"\x01A0\x01AF", true},              // ơư / ƠƯ (Latin Extended-B)
        {L"\x0540\x0561\x0575", L"\x0570\x0531\x0545", true}, // Armenian
        {L"\x10D0", L"\x1C90", true},                           // Georgian Mkhedruli / Mtavruli
        {L"\x03AC", L"\x0386", true},                           // Greek with tonos
        {L"\x2170", L"\x2160", true},                           // Roman numeral one
        {L"\x24D0", L"\x24B6", true},                           // circled letter a
        {L"\x13A0", L"\xAB70", true},                           // Cherokee
        {L"\x0131", L"I", false},                                // dotless i is not I
        {L"\x017F", L"S", false},                                // nor long s S
    };
    for (const Case& c : cases)
        EXPECT_EQ(Wild(c.pattern, c.text), c.match)
            << testing::PrintToString(std::wstring(c.pattern)) << " vs "
            << testing::PrintToString(std::wstring(c.text));
}

TEST(Matcher, PathologicalPatternEndsAndIsRight)
{
    std::wstring as(5000, L'a');
    EXPECT_FALSE(Wild(L"*a*a*a*a*a*a*a*a*b", as.c_str()));
    EXPECT_TRUE(Wild(L"*a*a*a*a*a*a*a*a*b", (as + L"b").c_str()));
    EXPECT_TRUE(Wild(L"*a*a*a*a*a*a*a*a*", as.c_str()));
    EXPECT_FALSE(Wild(L"*a*a*a*a*a*a*a*a*", L"aaaaaaa"));

    std::wstring manyStars;
    for (int i = 0; i < 200; ++i)
        manyStars += L"*a";
    manyStars += L"*b";
    Bytes image = Image({Record(9, 0, {Text(manyStars)})});
    ASSERT_EQ(Validate(image), 0);
    EXPECT_EQ(Match(image, 0, as.c_str()), 0u);
}

TEST(Matcher, FirstMatchingRecordInImageOrderWins)
{
    Bytes image = Image({Record(1, 0, {Text(L"C:\\tmp\\*")}), Record(2, 0, {Text(L"C:\\*")}),
                         Record(3, 0, {Text(L"*")}), Record(4, 2, {Text(L"*.exe")})});
    ASSERT_EQ(Validate(image), 0);
    EXPECT_EQ(Match(image, 0, L"C:\\tmp\\x"), 1u);
    EXPECT_EQ(Match(image, 0, L"C:\\x"), 2u);
    EXPECT_EQ(Match(image, 0, L"D:\\x"), 3u);
    EXPECT_EQ(Match(image, 2, L"D:\\x.exe"), 4u);
    EXPECT_EQ(Match(image, 2, L"D:\\x.dll"), 0u);
    EXPECT_EQ(Match(image, 1, L"C:\\x", L"v"), 0u); // no registry rules
    EXPECT_EQ(Match(image, 3, L"C:\\x"), 0u);       // no such kind
}

TEST(Matcher, ParametersOfRuleAndOperation)
{
    Bytes image = Image({
        Record(1, 1, {Text(L"HKLM\\Run"), Text(L"evil")}),
        Record(2, 1, {Text(L"HKCU\\*")}),         // only the key is examined
        Record(3, 1, {kAny, Text(L"Shell")}),     // any key, this value
        Record(4, 2, {}),                         // every program start
        Record(5, 0, {Text(L"C:\\x"), kAny}),     // a second parameter files lack
    });
    ASSERT_EQ(Validate(image), 0);
    EXPECT_EQ(Match(image, 1, L"hklm\\run", L"EVIL"), 1u);
    EXPECT_EQ(Match(image, 1, L"HKLM\\Run", L"good"), 0u);
    EXPECT_EQ(Match(image, 1, L"HKCU\\Software", L"anything"), 2u);
    EXPECT_EQ(Match(image, 1, L"HKCU\\Software", nullptr), 2u);
    EXPECT_EQ(Match(image, 1, L"HKU\\x", L"shell"), 3u);
    EXPECT_EQ(Match(image, 1, L"HKU\\x", nullptr), 0u); // the rule has a value the operation lacks
    EXPECT_EQ(Match(image, 2, L"C:\\any.exe"), 4u);
    EXPECT_EQ(Match(image, 2, L""), 4u);
    EXPECT_EQ(Match(image, 0, L"C:\\x"), 0u);
    EXPECT_EQ(Match(image, 0, L"C:\\x", L"y"), 5u);
}

TEST(Matcher, RecordsBeforeTheHeaderRunsStillMatch)
{
    // Two program entries: the header describes only the second one.
    Bytes first = Record(11, 0, {Text(L"C:\\first\\*")});
    Bytes secondFile = Record(21, 0, {Text(L"C:\\second\\*")});
    Bytes secondExec = Record(22, 2, {Text(L"*.com")});
    Bytes image(12, 0);
    image.insert(image.end(), first.begin(), first.end());
    uint32_t secondStart = static_cast<uint32_t>(image.size());
    image.insert(image.end(), secondFile.begin(), secondFile.end());
    uint32_t execStart = static_cast<uint32_t>(image.size());
    image.insert(image.end(), secondExec.begin(), secondExec.end());
    Set32(image, 0, secondStart);
    Set32(image, 4, execStart);
    Set32(image, 8, execStart);
    ASSERT_EQ(Validate(image), 0);
    EXPECT_EQ(Match(image, 0, L"C:\\FIRST\\a.txt"), 11u);
    EXPECT_EQ(Match(image, 0, L"C:\\second\\a.txt"), 21u);
    EXPECT_EQ(Match(image, 2, L"x.com"), 22u);
}

TEST(Matcher, TextUpToTheFirstNulIsThePattern)
{
    Bytes payload = Text(L"ab");
    Bytes tail = Text(L"cd"); // bytes after the NUL are not part of the pattern
    payload.insert(payload.end(), tail.begin(), tail.end());
    Bytes image = Image({Record(1, 0, {payload})});
    ASSERT_EQ(Validate(image), 0);
    EXPECT_EQ(Match(image, 0, L"ab"), 1u);
    EXPECT_EQ(Match(image, 0, L"abcd"), 0u);
}

TEST(Matcher, UnvalidatedImageIsReadOnlyWithinItsRecords)
{
    // A pattern without its NUL ends with its payload.
    Bytes unterminated = {'a', 0, '*', 0, 'c', 0};
    Bytes image = Image({Record(1, 0, {unterminated}), Record(2, 0, {Text(L"*")})});
    ASSERT_EQ(Validate(image), MATCH_BAD_TEXT);
    EXPECT_EQ(Match(image, 0, L"abc"), 1u);
    EXPECT_EQ(Match(image, 0, L"b"), 2u);

    // A record with too many parameters is skipped; one running past the end
    // stops the walk.
    Bytes bad = Image({Record(1, 0, {Text(L"x")}), Record(2, 0, {Text(L"*")})});
    Set32(bad, 12 + 12, 5);
    EXPECT_EQ(Match(bad, 0, L"x"), 2u);
    Set32(bad, 12 + 8, 1000);
    EXPECT_EQ(Match(bad, 0, L"x"), 0u);
    EXPECT_EQ(MatchOperation(nullptr, 100, 0, L"x", nullptr, nullptr), 0);
}
