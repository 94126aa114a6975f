#include "rules/RuleImage.h"
#include "watch/DriverService.h"

#include "driver/common/Matcher.h"

#include "unit/LittleEndian.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};
using SetPtr = std::unique_ptr<RuleSet, SetDeleter>;

Rule* Add(ProgramEntry* entry, PARAM_LIST* params)
{
    return CopyRuleInto(entry, RuleAction::Reject, RuleLog::Log, 0, 0, L"", params);
}

uint32_t U32(const std::vector<uint8_t>& image, size_t at)
{
    return uint32_t(image[at]) | uint32_t(image[at + 1]) << 8 | uint32_t(image[at + 2]) << 16 |
           uint32_t(image[at + 3]) << 24;
}

using bytes::Put32;
using bytes::PutText;

} // namespace

TEST(RuleImage, OneOpenFileRuleHasTheExactLayout)
{
    SetPtr set(NewRuleSet());
    Rule* rule = Add(set->entries[0], BuildParamList(0, "w", L"C:\\a*"));
    std::vector<uint8_t> image = BuildRuleImage(set.get());

    std::vector<uint8_t> expected;
    Put32(expected, 12); // kind 0 starts at the first record
    Put32(expected, 52); // kinds 1 and 2 are empty: the image size
    Put32(expected, 52);
    Put32(expected, rule->id);
    Put32(expected, 0);  // kind 0 and the zero half
    Put32(expected, 40); // 28 + 12 bytes of payload
    Put32(expected, 1);  // one parameter
    Put32(expected, 0);
    Put32(expected, 0);
    PutText(expected, L"C:\\a*"); // bytes 24 to 35 of the record
    Put32(expected, 0);           // bytes 36 to 39
    EXPECT_EQ(image, expected);
    EXPECT_EQ(image.size(), 52u);
}

TEST(RuleImage, RegistryRuleCarriesBothPayloads)
{
    SetPtr set(NewRuleSet());
    Rule* rule = Add(set->entries[0], BuildParamList(1, "ww", L"K\\*", L"v"));
    std::vector<uint8_t> image = BuildRuleImage(set.get());

    std::vector<uint8_t> expected;
    Put32(expected, 12);
    Put32(expected, 12);
    Put32(expected, 52);
    Put32(expected, rule->id);
    Put32(expected, 1);
    Put32(expected, 40);
    Put32(expected, 2);
    Put32(expected, 0);
    Put32(expected, 8); // parameter 1 follows parameter 0's 8 bytes
    PutText(expected, L"K\\*");
    PutText(expected, L"v");
    Put32(expected, 0);
    EXPECT_EQ(image, expected);
}

TEST(RuleImage, RecordSizesFollowThePayloads)
{
    struct Case {
        const char* name;
        PARAM_LIST* params;
        uint32_t recordSize;
        uint32_t count;
    } cases[] = {
        {"integer", BuildParamList(2, "n", 0x304u), 32, 1},
        {"integer without a 16-bit NUL", BuildParamList(1, "nw", 70000u, L"v*"), 38, 2},
        {"any", BuildParamList(2, "*"), 28, 1},
        {"none", BuildParamList(2, ""), 28, 0},
        {"any then text", BuildParamList(1, "*s", L"ab"), 34, 2},
    };
    for (const Case& c : cases) {
        SetPtr set(NewRuleSet());
        Add(set->entries[0], c.params);
        std::vector<uint8_t> image = BuildRuleImage(set.get());
        ASSERT_EQ(image.size(), 12u + c.recordSize) << c.name;
        EXPECT_EQ(U32(image, 12 + 8), c.recordSize) << c.name;
        EXPECT_EQ(U32(image, 12 + 12), c.count) << c.name;
        EXPECT_EQ(U32(image, image.size() - 4), 0u) << c.name;
        EXPECT_EQ(MatchValidateImage(image.data(), static_cast<uint32_t>(image.size())), 0)
            << c.name;
    }
    SetPtr set(NewRuleSet());
    Add(set->entries[0], BuildParamList(2, "n", 0x01020304u));
    EXPECT_EQ(U32(BuildRuleImage(set.get()), 12 + 24), 0x01020304u);
}

TEST(RuleImage, OnlyExecuteRulesPutEveryOffsetAtTwelve)
{
    SetPtr set(NewRuleSet());
    Add(set->entries[0], BuildParamList(2, "p", L"a.exe"));
    Add(set->entries[0], BuildParamList(2, "p", L"b.exe"));
    std::vector<uint8_t> image = BuildRuleImage(set.get());
    EXPECT_EQ(U32(image, 0), 12u);
    EXPECT_EQ(U32(image, 4), 12u);
    EXPECT_EQ(U32(image, 8), 12u);
    EXPECT_EQ(image.size(), 12u + 2 * (28 + 12));
}

TEST(RuleImage, KindsAreGroupedInKindOrderAndListOrder)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    Rule* e = Add(all, BuildParamList(2, "w", L"e"));
    Rule* f1 = Add(all, BuildParamList(0, "w", L"f1"));
    Rule* r = Add(all, BuildParamList(1, "ww", L"r", L"*"));
    Rule* f2 = Add(all, BuildParamList(0, "w", L"f2"));
    std::vector<uint8_t> image = BuildRuleImage(set.get());
    std::vector<uint32_t> ids;
    for (size_t at = 12; at < image.size(); at += U32(image, at + 8))
        ids.push_back(U32(image, at));
    EXPECT_EQ(ids, (std::vector<uint32_t>{f1->id, f2->id, r->id, e->id}));
    EXPECT_EQ(U32(image, 4), 12u + 2 * 34); // after the two file records
    EXPECT_EQ(U32(image, 8), 12u + 2 * 34 + 36);
}

TEST(RuleImage, IdentitiesResolveToTheirRules)
{
    SetPtr set(NewRuleSet());
    for (int i = 0; i < 50; ++i)
        Add(set->entries[0], BuildParamList(i % 3, "w", std::to_wstring(i).c_str()));
    std::vector<uint8_t> image = BuildRuleImage(set.get());
    size_t records = 0;
    for (size_t at = 12; at < image.size(); at += U32(image, at + 8), ++records) {
        Rule* rule = FindRuleById(set.get(), U32(image, at));
        ASSERT_TRUE(rule);
        EXPECT_EQ(RuleKind(rule), U32(image, at + 4));
        EXPECT_STREQ(ParamEntryText(ParamEntryAt(rule->params, 0)),
                     reinterpret_cast<const wchar_t*>(&image[at + 24]));
    }
    EXPECT_EQ(records, 50u);
}

TEST(RuleImage, EmptySetGivesTheHeaderAlone)
{
    SetPtr set(NewRuleSet());
    std::vector<uint8_t> image = BuildRuleImage(set.get());
    EXPECT_EQ(image, (std::vector<uint8_t>{12, 0, 0, 0, 12, 0, 0, 0, 12, 0, 0, 0}));
    EXPECT_EQ(BuildRuleImage(nullptr), image);
    EXPECT_EQ(MatchValidateImage(image.data(), 12), 0);
    uint32_t id = 0;
    EXPECT_EQ(MatchOperation(image.data(), 12, 0, L"C:\\x", nullptr, &id), 0);
}

TEST(RuleImage, SeveralEntriesKeepEveryRuleAndTheLastEntrysHeader)
{
    SetPtr set(NewRuleSet());
    Rule* star = Add(set->entries[0], BuildParamList(0, "w", L"C:\\star\\*"));
    ProgramEntry* other = NewProgramEntry(L"cmd.exe");
    Rule* cmd = Add(other, BuildParamList(2, "w", L"*.bat"));
    AddProgramEntry(set.get(), other);
    std::vector<uint8_t> image = BuildRuleImage(set.get());
    const uint32_t starRecord = 28 + 2 * 10;
    // The header names the runs of "cmd.exe", which follow the "*" records.
    EXPECT_EQ(U32(image, 0), 12u + starRecord);
    EXPECT_EQ(U32(image, 4), 12u + starRecord);
    EXPECT_EQ(U32(image, 8), 12u + starRecord);
    ASSERT_EQ(MatchValidateImage(image.data(), static_cast<uint32_t>(image.size())), 0);

    uint32_t id = 0;
    EXPECT_EQ(MatchOperation(image.data(), static_cast<uint32_t>(image.size()), 0,
                             L"C:\\STAR\\file.txt", nullptr, &id), 1);
    EXPECT_EQ(id, star->id);
    EXPECT_EQ(MatchOperation(image.data(), static_cast<uint32_t>(image.size()), 2,
                             L"D:\\run.bat", nullptr, &id), 1);
    EXPECT_EQ(id, cmd->id);
}

TEST(RuleImage, NothingIsSentWithoutAnOpenDevice)
{
    SetPtr set(NewRuleSet());
    Add(set->entries[0], BuildParamList(0, "w", L"x"));
    EXPECT_EQ(UploadRuleTable(nullptr, set.get()), -1);
    EXPECT_EQ(UploadRuleTable(INVALID_HANDLE_VALUE, set.get()), -1);
    EXPECT_EQ(SendRuleImage(nullptr, BuildRuleImage(set.get())), -1);
}

TEST(RuleImage, DeviceThatRefusesTheControlCodeIsReported)
{
    // A plain file is no driver device: the control call fails.
    wchar_t temp[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"hmi", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetPtr set(NewRuleSet());
    EXPECT_EQ(UploadRuleTable(file, set.get()), -2);
    CloseHandle(file);
}
