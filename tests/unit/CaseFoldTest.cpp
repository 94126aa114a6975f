#include "driver/common/CaseFold.h"
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"
#include "rules/RuleImage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef WCHAR(WINAPI* UpcaseChar)(WCHAR);

// Every BMP unit that the system's own upper-case table changes, with its
// upper case: what the file systems and the registry treat as one letter.
std::vector<std::pair<wchar_t, wchar_t>> SystemPairs()
{
    auto upcase = reinterpret_cast<UpcaseChar>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar"));
    std::vector<std::pair<wchar_t, wchar_t>> pairs;
    if (!upcase)
        return pairs;
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
        wchar_t up = upcase(static_cast<WCHAR>(c));
        if (up != static_cast<wchar_t>(c))
            pairs.emplace_back(static_cast<wchar_t>(c), up);
    }
    return pairs;
}

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};

// The one set-up of these tests: a rule table image with one OpenFile rule
// per pair, its pattern spelled with the pattern side's letter, the index
// built over it, and which rule a text of each letter must hit (the first
// whose letter has the same upper case).
class PairTable {
public:
    PairTable(const std::vector<std::pair<wchar_t, wchar_t>>& pairs, bool patternUpper)
        : set_(NewRuleSet())
    {
        std::map<wchar_t, uint32_t> firstByUpper;
        for (const auto& pair : pairs) {
            wchar_t letter = patternUpper ? pair.second : pair.first;
            PARAM_LIST* params = BuildParamList(0, "w", Pattern(letter).c_str());
            Rule* rule = CopyRuleInto(set_->entries[0], RuleAction::Reject, RuleLog::Log, 0, 0, L"", params);
            firstByUpper.emplace(pair.second, rule->id);
        }
        for (const auto& pair : pairs)
            expected_.push_back(firstByUpper[pair.second]);
        image_ = BuildRuleImage(set_.get());
        index_.resize(MatchIndexSize(image_.data(), Size()) / 4 + 1);
        built_ = MatchBuildIndex(image_.data(), Size(), index_.data(), static_cast<uint32_t>(4 * index_.size()));
    }

    // The letter inside a run of three, at a start and at an end, so that the
    // index keys of every family hold it.
    static std::wstring Pattern(wchar_t c) { return std::wstring(L"C:\\") + c + L"\\d" + c + c + L"\\*." + c; }
    static std::wstring Text(wchar_t c) { return std::wstring(L"c:\\") + c + L"\\D" + c + c + L"\\file." + c; }

    uint32_t Size() const { return static_cast<uint32_t>(image_.size()); }
    uint32_t Expected(size_t i) const { return expected_[i]; }
    bool Built() const { return built_ == 0; }

    uint32_t Walk(const std::wstring& text) const
    {
        uint32_t id = 0;
        return MatchOperation(image_.data(), Size(), 0, text.c_str(), nullptr, &id) ? id : 0;
    }

    uint32_t Indexed(const std::wstring& text) const
    {
        uint32_t id = 0;
        return MatchOperationIndexed(image_.data(), Size(), index_.data(), 0, text.c_str(), nullptr, &id) ? id : 0;
    }

private:
    std::unique_ptr<RuleSet, SetDeleter> set_;
    std::vector<uint8_t> image_;
    std::vector<uint32_t> index_;
    std::vector<uint32_t> expected_;
    int built_ = -1;
};

} // namespace

TEST(CaseFold, TheTableIsTheSystemsUpperCaseTable)
{
    auto pairs = SystemPairs();
    ASSERT_FALSE(pairs.empty()) << "RtlUpcaseUnicodeChar is not in ntdll";
    std::map<wchar_t, wchar_t> system(pairs.begin(), pairs.end());
    size_t differ = 0;
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
        auto found = system.find(static_cast<wchar_t>(c));
        uint16_t expected = found == system.end() ? static_cast<uint16_t>(c) : found->second;
        if (CaseUpper(static_cast<uint16_t>(c)) != expected && ++differ <= 10)
            ADD_FAILURE() << std::hex << "U+" << c << ": the system's upper case is U+" << expected
                          << ", the table's U+" << CaseUpper(static_cast<uint16_t>(c));
    }
    EXPECT_EQ(differ, 0u);
    EXPECT_EQ(casetable::kCasePairs, pairs.size());
}

// Every pair the system joins matches both ways: a pattern of the upper-case
// letter matches a text of the other and the other way round, through the
// bare wildcard matcher, the walk over an image and the index.
TEST(CaseFold, EveryPairTheSystemJoinsMatchesBothWays)
{
    auto pairs = SystemPairs();
    ASSERT_FALSE(pairs.empty());
    for (bool patternUpper : {true, false}) {
        PairTable table(pairs, patternUpper);
        ASSERT_TRUE(table.Built());
        size_t failures = 0;
        for (size_t i = 0; i < pairs.size() && failures < 10; ++i) {
            wchar_t pattern = patternUpper ? pairs[i].second : pairs[i].first;
            wchar_t text = patternUpper ? pairs[i].first : pairs[i].second;
            std::wstring p = PairTable::Pattern(pattern), t = PairTable::Text(text);
            bool wild = MatchWildcard(reinterpret_cast<const uint16_t*>(p.c_str()),
                                      reinterpret_cast<const uint16_t*>(t.c_str())) != 0;
            uint32_t walked = table.Walk(t), indexed = table.Indexed(t);
            if (!wild || walked != table.Expected(i) || indexed != table.Expected(i)) {
                ++failures;
                ADD_FAILURE() << std::hex << "pattern U+" << unsigned(pattern) << " text U+" << unsigned(text)
                              << ": wildcard " << wild << ", walk rule " << walked << ", index rule "
                              << indexed << ", expected rule " << table.Expected(i);
            }
        }
    }
}
