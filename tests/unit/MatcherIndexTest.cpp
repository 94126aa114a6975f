#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"

#include "unit/LittleEndian.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Letters with a case partner (pairs), letters without one, and other
// characters that paths hold.
const std::wstring kPairs[] = {L"aA", L"bB", L"sS", L"\x00E9\x00C9", L"\x00FF\x0178", L"\x0142\x0141",
                               L"\x03C3\x03A3", L"\x0434\x0414", L"\x0451\x0401", L"\xFF41\xFF21"};
const std::wstring kSingles = L"019\\._ \x00DF\x03C2\x0130\x0131\x017F\x4E2D";

struct Rule {
    uint16_t kind;
    std::vector<Bytes> payloads;
    std::vector<std::wstring> patterns; // the texts of the payloads, "" for others
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool Chance(int percent) { return Pick(100) < percent; }

    wchar_t Letter()
    {
        if (Chance(25))
            return kSingles[Pick(static_cast<int>(kSingles.size()))];
        const std::wstring& pair = kPairs[Pick(static_cast<int>(std::size(kPairs)))];
        return pair[Pick(2)];
    }

    // The same letter in either case.
    wchar_t AnyCase(wchar_t c)
    {
        for (const std::wstring& pair : kPairs) {
            if (c == pair[0] || c == pair[1])
                return pair[Pick(2)];
        }
        return c;
    }

    std::wstring Text(int maxLength)
    {
        std::wstring text;
        for (int n = Pick(maxLength + 1); n > 0; --n)
            text += Letter();
        return text;
    }

    std::wstring Pattern()
    {
        std::wstring pattern;
        for (int n = Pick(Chance(5) ? 300 : 20); n > 0; --n)
            pattern += Chance(15) ? L'*' : Chance(10) ? L'?' : Letter();
        return pattern;
    }

    Rule MakeRule()
    {
        Rule rule{static_cast<uint16_t>(Pick(3)), {}, {}};
        int count = Chance(10) ? 0 : Chance(65) ? 1 : 2;
        for (int i = 0; i < count; ++i) {
            Bytes payload;
            std::wstring pattern;
            if (Chance(10)) {
                // empty: matches anything
            } else if (Chance(5)) {
                for (int b = 0; b < 4; ++b) // an integer: no NUL needed
                    payload.push_back(static_cast<uint8_t>(Pick(2) ? 'a' : Pick(256)));
            } else {
                pattern = Pattern();
                bytes::PutText(payload, pattern.c_str());
                if (Chance(5))
                    bytes::PutText(payload, Pattern().c_str()); // after the NUL: not the pattern
            }
            rule.payloads.push_back(payload);
            rule.patterns.push_back(pattern);
        }
        return rule;
    }

    // A text the pattern matches, letters in any case; sometimes one changed.
    std::wstring Instance(const std::wstring& pattern)
    {
        std::wstring text;
        for (wchar_t c : pattern) {
            if (c == L'*')
                text += Text(Chance(3) ? 600 : 5);
            else
                text += c == L'?' ? Letter() : AnyCase(c);
        }
        if (!text.empty() && Chance(20))
            text[Pick(static_cast<int>(text.size()))] = Letter();
        return text;
    }

private:
    std::mt19937 rng_;
};

// Records back to back after a header the matcher does not need.
Bytes ImageOf(const std::vector<Rule>& rules)
{
    Bytes image(12, 0);
    for (size_t r = 0; r < rules.size(); ++r) {
        const Rule& rule = rules[r];
        uint32_t total = 0;
        for (const Bytes& p : rule.payloads)
            total += static_cast<uint32_t>(p.size());
        bytes::Put32(image, static_cast<uint32_t>(r + 1));
        bytes::Put32(image, rule.kind);
        bytes::Put32(image, 28 + total);
        bytes::Put32(image, static_cast<uint32_t>(rule.payloads.size()));
        bytes::Put32(image, 0);
        bytes::Put32(image, rule.payloads.size() > 1 ? static_cast<uint32_t>(rule.payloads[0].size()) : 0);
        for (const Bytes& p : rule.payloads)
            image.insert(image.end(), p.begin(), p.end());
        bytes::Put32(image, 0);
    }
    return image;
}

struct Indexed {
    Bytes image;
    std::vector<uint32_t> index;

    explicit Indexed(Bytes bytes) : image(std::move(bytes))
    {
        uint32_t size = MatchIndexSize(image.data(), Size());
        index.resize(size / 4);
        EXPECT_LE(size, 2 * image.size());
        if (size != 0) {
            EXPECT_EQ(MatchBuildIndex(image.data(), Size(), index.data(), size), 0);
        }
    }
    uint32_t Size() const { return static_cast<uint32_t>(image.size()); }
    const void* Index() const { return index.empty() ? nullptr : index.data(); }
};

// The identity of the matching rule, 0 for none; through the index or not.
uint32_t Match(const Indexed& set, bool indexed, uint32_t kind, const std::wstring* p1, const std::wstring* p2)
{
    uint32_t id = 0;
    const wchar_t* t1 = p1 ? p1->c_str() : nullptr;
    const wchar_t* t2 = p2 ? p2->c_str() : nullptr;
    int found = indexed ? MatchOperationIndexed(set.image.data(), set.Size(), set.Index(), kind, t1, t2, &id)
                        : MatchOperation(set.image.data(), set.Size(), kind, t1, t2, &id);
    return found ? id : 0;
}

} // namespace

TEST(MatcherIndex, AnswersAsTheWalkDoesOnRandomRuleSets)
{
    Generator gen(20240611);
    int matched = 0, compared = 0;
    for (int set = 0; set < 2500 && !HasFailure(); ++set) {
        bool large = set % 250 == 0;
        std::vector<Rule> rules;
        for (int n = large ? 1500 : gen.Pick(40); n > 0; --n)
            rules.push_back(gen.MakeRule());
        Indexed indexed(ImageOf(rules));
        for (int op = large ? 300 : 30; op > 0; --op) {
            uint32_t kind = static_cast<uint32_t>(gen.Pick(3));
            std::wstring p[2];
            const Rule* model = rules.empty() || gen.Chance(40) ? nullptr : &rules[gen.Pick(static_cast<int>(rules.size()))];
            for (int i = 0; i < 2; ++i) {
                bool fromModel = model && i < static_cast<int>(model->patterns.size());
                p[i] = fromModel ? gen.Instance(model->patterns[i]) : gen.Text(gen.Chance(3) ? 1024 : 30);
            }
            if (model && gen.Chance(80))
                kind = model->kind;
            bool second = gen.Chance(kind == 1 ? 80 : 10);
            uint32_t walk = Match(indexed, false, kind, &p[0], second ? &p[1] : nullptr);
            uint32_t fast = Match(indexed, true, kind, &p[0], second ? &p[1] : nullptr);
            ASSERT_EQ(fast, walk) << "set " << set << ", kind " << kind << ": "
                                  << testing::PrintToString(p[0]) << " / "
                                  << (second ? testing::PrintToString(p[1]) : "(none)");
            matched += walk != 0;
            ++compared;
        }
    }
    // The operations must exercise both answers.
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared * 4 / 5);
}

TEST(MatcherIndex, SizeStaysWithinTwiceTheImage)
{
    // Records without parameters are the densest image: 28 bytes a rule.
    for (size_t count : {1u, 2u, 3u, 5u, 1000u, 1025u, 4097u}) {
        Indexed indexed(ImageOf(std::vector<Rule>(count, Rule{2, {}, {}})));
        std::wstring text = L"x";
        EXPECT_EQ(Match(indexed, true, 2, &text, nullptr), 1u) << count;
    }
    EXPECT_EQ(MatchIndexSize(ImageOf({}).data(), 12), 0u); // nothing to index
    EXPECT_EQ(MatchIndexSize(nullptr, 100), 0u);
}

TEST(MatcherIndex, UnusableBuffersAndForeignIndexesFallBackToTheWalk)
{
    Rule first{0, {}, {}}, second{0, {}, {}}, drive{0, {}, {}};
    bytes::PutText(first.payloads.emplace_back(), L"C:\\first\\*");
    bytes::PutText(second.payloads.emplace_back(), L"*\\second\\*");
    bytes::PutText(drive.payloads.emplace_back(), L"D:\\*");
    Indexed indexed(ImageOf({first, second}));
    uint32_t size = MatchIndexSize(indexed.image.data(), indexed.Size());
    std::vector<uint32_t> buffer(size / 4 + 1);
    EXPECT_EQ(MatchBuildIndex(indexed.image.data(), indexed.Size(), buffer.data(), size - 4), MATCH_BAD_SIZE);
    EXPECT_EQ(MatchBuildIndex(indexed.image.data(), indexed.Size(),
                              reinterpret_cast<uint8_t*>(buffer.data()) + 2, size), MATCH_BAD_SIZE);

    // The index of another image (which would find nothing here) is not
    // trusted; a missing one means the walk.
    Indexed other(ImageOf({drive}));
    std::wstring text = L"C:\\First\\Second\\x";
    EXPECT_EQ(Match(other, true, 0, &text, nullptr), 0u);
    for (const void* index : {other.Index(), static_cast<const void*>(nullptr)}) {
        uint32_t id = 0;
        EXPECT_EQ(MatchOperationIndexed(indexed.image.data(), indexed.Size(), index, 0, text.c_str(), nullptr, &id), 1);
        EXPECT_EQ(id, 1u);
    }
}
