#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"

#include "unit/LittleEndian.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Letters with a case partner, side by side (ASCII, Latin-1, Latin
// Extended-A, Greek, Cyrillic, full width), then letters without one and
// other characters of paths.
const std::wstring kPairs = L"aAbBsS\x00E9\x00C9\x00FF\x0178\x0142\x0141\x03C3\x03A3\x0434\x0414\x0451\x0401\xFF41\xFF21";
const std::wstring kLetters = kPairs + L"019\\._ \x00DF\x03C2\x0130\x0131\x017F\x4E2D";

struct Rule {
    uint16_t kind;
    std::vector<Bytes> payloads;
    std::vector<std::wstring> patterns; // "" for payloads that are not a pattern
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool Chance(int percent) { return Pick(100) < percent; }
    wchar_t Letter() { return kLetters[Pick(static_cast<int>(kLetters.size()))]; }

    // Up to `length` letters, with stars and question marks as asked.
    std::wstring Draw(int length, int stars = 0, int marks = 0)
    {
        std::wstring text;
        for (int n = Pick(length + 1); n > 0; --n)
            text += Chance(stars) ? L'*' : Chance(marks) ? L'?' : Letter();
        return text;
    }

    Rule MakeRule()
    {
        Rule rule{static_cast<uint16_t>(Pick(3)), {}, {}};
        for (int i = Chance(10) ? 0 : Chance(65) ? 1 : 2; i > 0; --i) {
            Bytes payload;
            std::wstring pattern;
            if (Chance(5)) {
                for (int b = 0; b < 4; ++b) // an integer: no NUL needed
                    payload.push_back(static_cast<uint8_t>(Pick(2) ? 'a' : Pick(256)));
            } else if (!Chance(10)) { // else empty: matches anything
                pattern = Draw(Chance(5) ? 300 : 20, 15, 10);
                bytes::PutText(payload, pattern.c_str());
                if (Chance(5))
                    bytes::PutText(payload, Draw(10).c_str()); // after the NUL: not the pattern
            }
            rule.payloads.push_back(payload);
            rule.patterns.push_back(pattern);
        }
        return rule;
    }

    // A text the pattern matches, letters in either case; sometimes one changed.
    std::wstring Instance(const std::wstring& pattern)
    {
        std::wstring text;
        for (wchar_t c : pattern) {
            size_t pair = kPairs.find(c);
            if (c == L'*')
                text += Draw(Chance(3) ? 600 : 5);
            else
                text += c == L'?' ? Letter() : pair != std::wstring::npos && Pick(2) ? kPairs[pair ^ 1] : c;
        }
        if (!text.empty() && Chance(20))
            text[Pick(static_cast<int>(text.size()))] = Letter();
        return text;
    }

private:
    std::mt19937 rng_;
};

// Records back to back, rule identities 1, 2, ..., after a header the
// matcher does not read.
Bytes ImageOf(const std::vector<Rule>& rules)
{
    Bytes image(12, 0);
    for (size_t r = 0; r < rules.size(); ++r) {
        Bytes payloads;
        for (const Bytes& p : rules[r].payloads)
            payloads.insert(payloads.end(), p.begin(), p.end());
        size_t count = rules[r].payloads.size();
        for (size_t field : {r + 1, size_t(rules[r].kind), 28 + payloads.size(), count, size_t(0),
                             count > 1 ? rules[r].payloads[0].size() : 0})
            bytes::Put32(image, static_cast<uint32_t>(field));
        image.insert(image.end(), payloads.begin(), payloads.end());
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
        EXPECT_EQ(size ? MatchBuildIndex(image.data(), Size(), index.data(), size) : 0, 0);
    }
    uint32_t Size() const { return static_cast<uint32_t>(image.size()); }
    const void* Index() const { return index.empty() ? nullptr : index.data(); }

    // The identity of the matching rule, 0 for none; through the index or the walk.
    uint32_t Match(bool indexed, uint32_t kind, const wchar_t* p1, const wchar_t* p2 = nullptr) const
    {
        uint32_t id = 0;
        int found = indexed ? MatchOperationIndexed(image.data(), Size(), Index(), kind, p1, p2, &id)
                            : MatchOperation(image.data(), Size(), kind, p1, p2, &id);
        return found ? id : 0;
    }
};

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
            const Rule* model = rules.empty() || gen.Chance(40) ? nullptr : &rules[gen.Pick(static_cast<int>(rules.size()))];
            std::wstring p[2];
            for (size_t i = 0; i < 2; ++i)
                p[i] = model && i < model->patterns.size() ? gen.Instance(model->patterns[i])
                                                           : gen.Draw(gen.Chance(3) ? 1024 : 30);
            if (model && gen.Chance(80))
                kind = model->kind;
            const wchar_t* second = gen.Chance(kind == 1 ? 80 : 10) ? p[1].c_str() : nullptr;
            uint32_t walk = indexed.Match(false, kind, p[0].c_str(), second);
            ASSERT_EQ(indexed.Match(true, kind, p[0].c_str(), second), walk)
                << "set " << set << ", kind " << kind << ": " << testing::PrintToString(p[0]) << " / "
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
    for (size_t count : {1u, 2u, 3u, 5u, 1000u, 1025u, 4097u})
        EXPECT_EQ(Indexed(ImageOf(std::vector<Rule>(count, Rule{2, {}, {}}))).Match(true, 2, L"x"), 1u) << count;
    EXPECT_EQ(MatchIndexSize(ImageOf({}).data(), 12), 0u); // nothing to index
    EXPECT_EQ(MatchIndexSize(nullptr, 100), 0u);
}

TEST(MatcherIndex, UnusableBuffersAndForeignIndexesFallBackToTheWalk)
{
    Rule first{0, {{}}, {}}, second{0, {{}}, {}}, drive{0, {{}}, {}};
    bytes::PutText(first.payloads[0], L"C:\\first\\*");
    bytes::PutText(second.payloads[0], L"*\\second\\*");
    bytes::PutText(drive.payloads[0], L"D:\\*");
    Indexed indexed(ImageOf({first, second}));
    uint32_t size = MatchIndexSize(indexed.image.data(), indexed.Size());
    std::vector<uint32_t> buffer(size / 4 + 1);
    EXPECT_EQ(MatchBuildIndex(indexed.image.data(), indexed.Size(), buffer.data(), size - 4), MATCH_BAD_SIZE);
    EXPECT_EQ(MatchBuildIndex(indexed.image.data(), indexed.Size(), reinterpret_cast<uint8_t*>(buffer.data()) + 2,
                              size), MATCH_BAD_SIZE);

    // The index of another image (which would find nothing here) is not
    // trusted; a missing one means the walk.
    Indexed other(ImageOf({drive}));
    const wchar_t* text = L"C:\\First\\Second\\x";
    EXPECT_EQ(other.Match(true, 0, text), 0u);
    for (const void* index : {other.Index(), static_cast<const void*>(nullptr)}) {
        uint32_t id = 0;
        EXPECT_EQ(MatchOperationIndexed(indexed.image.data(), indexed.Size(), index, 0, text, nullptr, &id), 1);
        EXPECT_EQ(id, 1u);
    }
}
