#include "driver/common/KeySpellings.h"
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"
#include "rules/RuleImage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kSid[] = L"S-1-5-21-1000-2000-3000-1001";

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};

// The one set-up of these tests: a rule table image of RegSetValue rules in
// the order given (any value name), with its index.
class KeyRules {
public:
    explicit KeyRules(const std::vector<std::wstring>& patterns) : set_(NewRuleSet())
    {
        for (const std::wstring& pattern : patterns) {
            PARAM_LIST* params = BuildParamList(1, "w*", pattern.c_str());
            ids_.push_back(CopyRuleInto(set_->entries[0], RuleAction::Reject, RuleLog::Log, 0, 0, L"", params)->id);
        }
        image_ = BuildRuleImage(set_.get());
        index_.resize(MatchIndexSize(image_.data(), Size()) / 4 + 1);
        MatchBuildIndex(image_.data(), Size(), index_.data(), static_cast<uint32_t>(4 * index_.size()));
    }

    uint32_t Size() const { return static_cast<uint32_t>(image_.size()); }
    uint32_t Id(size_t i) const { return ids_[i]; }

    // The matched rule's position in the list, or -1.
    int Match(const std::wstring& key, const wchar_t* sid, bool indexed = true) const
    {
        std::vector<wchar_t> scratch(KEY_SPELLING_SCRATCH_CHARS(key.size(), 64));
        uint32_t id = 0;
        if (!MatchKeyOperation(image_.data(), Size(), indexed ? index_.data() : nullptr, key.c_str(), L"v", sid,
                               scratch.data(), static_cast<uint32_t>(scratch.size()), &id))
            return -1;
        for (size_t i = 0; i < ids_.size(); ++i) {
            if (ids_[i] == id)
                return static_cast<int>(i);
        }
        return -2;
    }

private:
    std::unique_ptr<RuleSet, SetDeleter> set_;
    std::vector<uint8_t> image_;
    std::vector<uint32_t> index_;
    std::vector<uint32_t> ids_;
};

std::vector<std::wstring> Spellings(const std::wstring& key, const wchar_t* sid)
{
    std::vector<wchar_t> scratch(KEY_SPELLING_SCRATCH_CHARS(key.size(), 64));
    std::vector<std::wstring> out;
    ForEachKeySpelling(key.c_str(), sid, scratch.data(), static_cast<uint32_t>(scratch.size()),
                       [](void* context, const wchar_t* s) {
                           static_cast<std::vector<std::wstring>*>(context)->push_back(s);
                       },
                       &out);
    return out;
}

} // namespace

// A rule in any spelling matches the key a real operation names the kernel's
// way, and only that key.
TEST(KeySpellings, ARuleInEachSpellingMatchesTheKernelName)
{
    const std::wstring user = std::wstring(L"\\REGISTRY\\USER\\") + kSid;
    struct Case {
        const wchar_t* rule;
        std::wstring key;
        const wchar_t* sid;
        bool match;
    } cases[] = {
        {L"HKEY_LOCAL_MACHINE\\Software\\Vendor\\*", L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Run", kSid, true},
        {L"HKLM\\Software\\Vendor\\*", L"\\Registry\\Machine\\Software\\VENDOR\\Run", kSid, true},
        {L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\*", L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Run", nullptr, true},
        {L"HKEY_CURRENT_USER\\Software\\App", user + L"\\Software\\App", kSid, true},
        {L"HKCU\\Software\\App", user + L"\\Software\\App", kSid, true},
        {L"HKEY_CURRENT_USER\\Software\\App", user + L"\\Software\\App", nullptr, false}, // no user known
        {L"HKEY_CURRENT_USER\\Software\\App", L"\\REGISTRY\\USER\\S-1-5-18\\Software\\App", kSid, false},
        {L"HKEY_USERS\\*\\Software\\App", user + L"\\Software\\App", nullptr, true},
        {L"\\REGISTRY\\USER\\*\\Software\\App", user + L"\\Software\\App", kSid, true},
        {L"HKEY_CLASSES_ROOT\\.txt", L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\.txt", kSid, true},
        {L"HKEY_CLASSES_ROOT\\.txt", user + L"_Classes\\.txt", kSid, true},
        {L"HKEY_CLASSES_ROOT\\.txt", user + L"\\Software\\Classes\\.txt", kSid, true},
        {L"HKEY_CURRENT_USER\\Software\\Classes\\.txt", user + L"_Classes\\.txt", kSid, true},
        {L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\.txt", user + L"_Classes\\.txt", kSid, false},
        {L"HKEY_CURRENT_CONFIG\\Software\\Fonts",
         L"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts", kSid, true},
        {L"HKEY_LOCAL_MACHINE\\Software\\Vendor", L"\\REGISTRY\\MACHINE\\SOFTWARE\\VendorX", kSid, false},
        {L"HKLM\\Software\\Vendor", L"\\REGISTRY\\MACHINEX\\Software\\Vendor", kSid, false},
        // A name in a predefined key's form (an injected operation) is spelt
        // the kernel's way too.
        {L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\*", L"HKEY_LOCAL_MACHINE\\Software\\Vendor\\Run", nullptr, true},
        {L"\\REGISTRY\\USER\\*\\Software\\App", L"HKCU\\Software\\App", kSid, true},
        {L"HKEY_CLASSES_ROOT\\.txt", L"HKCR\\.txt", nullptr, true},
    };
    for (const Case& c : cases) {
        KeyRules rules({c.rule});
        EXPECT_EQ(rules.Match(c.key, c.sid), c.match ? 0 : -1) << testing::PrintToString(std::wstring(c.rule))
                                                            << " on " << testing::PrintToString(c.key);
    }
}

// Across spellings the earliest record in image order wins, exactly as one
// walk over the image trying every spelling at each record finds it; with
// and without the index.
TEST(KeySpellings, TheEarliestRecordAcrossSpellingsWins)
{
    const std::wstring key = std::wstring(L"\\REGISTRY\\USER\\") + kSid + L"\\Software\\App\\Run";
    const std::vector<std::wstring> pool = {
        L"\\REGISTRY\\USER\\*\\Software\\App\\*", L"HKEY_CURRENT_USER\\Software\\App\\Run",
        L"HKU\\*\\Run",                            L"HKLM\\Software\\App\\Run",
        L"HKEY_CLASSES_ROOT\\*",                   L"HKCU\\*\\App\\R?n",
        L"*\\Other",
    };
    const std::vector<std::wstring> spellings = Spellings(key, kSid);
    ASSERT_GE(spellings.size(), 5u); // kernel, HKEY_USERS, HKU, HKEY_CURRENT_USER, HKCU
    for (size_t rotation = 0; rotation < pool.size(); ++rotation) {
        std::vector<std::wstring> patterns;
        for (size_t i = 0; i < pool.size(); ++i)
            patterns.push_back(pool[(i + rotation) % pool.size()]);
        int expected = -1;
        for (size_t i = 0; i < patterns.size() && expected < 0; ++i) {
            for (const std::wstring& s : spellings) {
                if (MatchWildcard(reinterpret_cast<const uint16_t*>(patterns[i].c_str()),
                                  reinterpret_cast<const uint16_t*>(s.c_str()))) {
                    expected = static_cast<int>(i);
                    break;
                }
            }
        }
        KeyRules rules(patterns);
        EXPECT_EQ(rules.Match(key, kSid, true), expected) << "rotation " << rotation;
        EXPECT_EQ(rules.Match(key, kSid, false), expected) << "rotation " << rotation;
    }
}

// Too little scratch leaves out the other spellings, never the name itself,
// and never writes past the scratch.
TEST(KeySpellings, ShortScratchKeepsTheNameAsGiven)
{
    const std::wstring key = L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor";
    for (uint32_t chars : {0u, 8u, 40u, 80u}) {
        std::vector<wchar_t> scratch(chars + 4, L'#');
        uint32_t seen = ForEachKeySpelling(key.c_str(), kSid, chars ? scratch.data() : nullptr, chars,
                                           [](void*, const wchar_t*) {}, nullptr);
        EXPECT_EQ(seen, chars < 80 ? 1u : 3u) << chars; // HKLM\SOFTWARE\Vendor needs 21
        for (size_t i = chars; i < scratch.size(); ++i)
            EXPECT_EQ(scratch[i], L'#') << chars;
    }
}
