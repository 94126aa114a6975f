#include "rules/RuleHits.h"

#include "rules/RuleEditing.h"
#include "rules/RuleFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};
using SetPtr = std::unique_ptr<RuleSet, SetDeleter>;

// A scratch folder per test with a rule set to count for.
class RuleHitsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp) + L"hm_rulehits_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount()) + L"\\";
        CreateDirectoryW(m_dir.c_str(), nullptr);
        m_path = RuleHitFilePath(m_dir + HM_RULE_FILE);
        m_set.reset(NewRuleSet());
    }
    void TearDown() override
    {
        SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(m_path.c_str());
        DeleteFileW((m_path + L".tmp").c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    Rule* AddRule(uint32_t kind, uint16_t action, const wchar_t* pattern)
    {
        return ApplyRuleEdit(m_set->entries[0], nullptr, { kind, L"", pattern, L"", false, RuleLog::None, action });
    }
    void WriteText(const std::string& text)
    {
        std::ofstream(m_path.c_str(), std::ios::binary) << text;
    }
    std::string ReadText()
    {
        std::stringstream ss;
        ss << std::ifstream(m_path.c_str(), std::ios::binary).rdbuf();
        return ss.str();
    }

    std::wstring m_dir, m_path;
    SetPtr m_set;
};

TEST_F(RuleHitsTest, CountsAndLastTimesSurviveASaveAndAnotherStoreReadsThem)
{
    EXPECT_EQ(m_dir + L"Harrowmere.hits", m_path);
    Rule* file = AddRule(OperationKind::OpenFile, RuleAction::Reject, L"C:\\a\\*");
    Rule* run = AddRule(OperationKind::Execute, RuleAction::Accept, L"*\\b.exe");
    Rule* quiet = AddRule(OperationKind::OpenFile, RuleAction::Accept, L"C:\\quiet\\*");

    CRuleHitStore store;
    store.Open(m_path);
    EXPECT_TRUE(store.Save()) << "nothing to write";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(m_path.c_str()));
    store.Record(file, 500);
    store.Record(file, 300); // an earlier clock does not move the last time back
    store.Record(run, 0x1d9000000000000ull);
    ASSERT_TRUE(store.Save());

    // The text: keys ascending, an end line that counts them.
    RuleHitMap parsed;
    ASSERT_TRUE(ParseRuleHits(ReadText(), &parsed));
    EXPECT_EQ(FormatRuleHits(parsed), ReadText());
    EXPECT_EQ(0u, ReadText().find("HarrowmereHits 1\r\n"));
    EXPECT_NE(std::string::npos, ReadText().find("\r\nEnd 2\r\n"));

    CRuleHitStore reread;
    reread.Open(m_path);
    struct Expected {
        const Rule* rule;
        uint64_t count, last;
    } expected[] = { { file, 2, 500 }, { run, 1, 0x1d9000000000000ull }, { quiet, 0, 0 } };
    for (const Expected& e : expected) {
        EXPECT_EQ(e.count, reread.Get(RuleContentKey(e.rule)).count);
        EXPECT_EQ(e.last, reread.Get(RuleContentKey(e.rule)).lastHit);
    }

    // A rule reload opens the same file again: counts not yet written stay.
    reread.Record(quiet, 700);
    reread.Open(m_path);
    EXPECT_EQ(1u, reread.Get(RuleContentKey(quiet)).count);
}

TEST_F(RuleHitsTest, TheKeyFollowsKindParametersAndActionAndNothingElse)
{
    Rule* base = AddRule(OperationKind::SetRegistryValue, RuleAction::Reject, L"HKEY_LOCAL_MACHINE\\Run");
    const uint64_t key = RuleContentKey(base);
    // Description, log mode, flags and group are not the content.
    base->info = L"renamed";
    base->log = RuleLog::Log;
    base->flags = RuleFlag::Ask;
    base->groupId = 7;
    EXPECT_EQ(key, RuleContentKey(base));

    // The same rule written to the rule file and read back (other slack
    // after the texts) keeps its key.
    const std::wstring ruleFile = m_dir + HM_RULE_FILE;
    ASSERT_EQ(0, WriteRuleFile(nullptr, m_set.get(), ruleFile.c_str(), RULE_FILE_ALL_GROUPS));
    SetPtr read(ReadRuleFile(nullptr, ruleFile.c_str()));
    DeleteFileW(ruleFile.c_str());
    const Rule* reread = read->entries[0]->rules[OperationKind::SetRegistryValue];
    ASSERT_TRUE(reread);
    EXPECT_EQ(key, RuleContentKey(reread));

    struct Change {
        const char* what;
        RULE_EDIT edit;
    } changes[] = {
        { "action", { OperationKind::SetRegistryValue, L"", L"HKEY_LOCAL_MACHINE\\Run", L"", false, -1, RuleAction::Accept } },
        { "value name", { OperationKind::SetRegistryValue, L"", L"HKEY_LOCAL_MACHINE\\Run", L"x", false, -1, -1 } },
        { "key path", { OperationKind::SetRegistryValue, L"", L"HKEY_LOCAL_MACHINE\\Ru", L"", false, -1, -1 } },
        { "kind", { OperationKind::OpenFile, L"", L"HKEY_LOCAL_MACHINE\\Run", L"", false, -1, -1 } },
    };
    for (const Change& c : changes) {
        SetPtr other(NewRuleSet());
        Rule* copy = CopyRuleInto(other->entries[0], base->action, base->log, base->flags, base->groupId,
                                  base->info.c_str(), CopyParamList(base->params));
        ASSERT_EQ(key, RuleContentKey(copy));
        Rule* changed = ApplyRuleEdit(other->entries[0], copy, c.edit);
        ASSERT_TRUE(changed) << c.what;
        EXPECT_NE(key, RuleContentKey(changed)) << c.what << ": a changed rule starts again at 0";
    }
}

TEST_F(RuleHitsTest, ABadOrCutFileGivesNoCountsAndTheNextSaveReplacesIt)
{
    Rule* rule = AddRule(OperationKind::OpenFile, RuleAction::Reject, L"C:\\a\\*");
    RuleHitMap one = { { RuleContentKey(rule), { 4, 99 } } };
    const std::string good = FormatRuleHits(one);
    const std::string key = good.substr(good.find("\r\n") + 2, 16);
    const std::string lf = "HarrowmereHits 1\n" + key + " 4 0000000000000063\nEnd 1\n";
    RuleHitMap read;
    ASSERT_TRUE(ParseRuleHits(lf, &read)) << "LF line ends are read too";
    EXPECT_EQ(4u, read[RuleContentKey(rule)].count);

    const std::string bad[] = {
        "",
        good.substr(0, good.size() - 1),                  // cut inside the last line end
        good.substr(0, good.find("End")),                 // cut before the end line
        "HarrowmereHits 2\r\nEnd 0\r\n",                  // another version
        "HarrowmereHits 1\r\nEnd 1\r\n",                  // the end line counts a line that is not there
        "HarrowmereHits 1\r\n" + key + " 4 63\r\nEnd 1\r\n", // a short time
        "HarrowmereHits 1\r\n" + key + " -4 0000000000000063\r\nEnd 1\r\n",
        "HarrowmereHits 1\r\n" + key + " 99999999999999999999 0000000000000063\r\nEnd 1\r\n", // beyond 64 bits
        "HarrowmereHits 1\r\n" + key + " 4 0000000000000063\r\n" + key + " 1 0000000000000063\r\nEnd 2\r\n",
        "<HarrowmereRule Version=\"1\" />\r\n",
    };
    for (const std::string& text : bad) {
        read = one;
        EXPECT_FALSE(ParseRuleHits(text, &read)) << text;
        EXPECT_TRUE(read.empty()) << text;

        WriteText(text);
        CRuleHitStore store;
        store.Open(m_path);
        EXPECT_EQ(0u, store.Get(RuleContentKey(rule)).count) << text;
        store.Record(rule, 1000);
        ASSERT_TRUE(store.Save());
        EXPECT_EQ(1u, ReadRuleHitFile(m_path)[RuleContentKey(rule)].count) << text;
    }
}

TEST_F(RuleHitsTest, ASaveThatCannotReplaceTheFileIsTriedAgainAndKeepsTheOldFile)
{
    Rule* rule = AddRule(OperationKind::Execute, RuleAction::Reject, L"*\\c.exe");
    CRuleHitStore store;
    store.Open(m_path);
    store.Record(rule, 10);
    ASSERT_TRUE(store.Save());
    const std::string before = ReadText();

    store.Record(rule, 20);
    SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(before, ReadText());
    SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(store.Save()) << "still unwritten, so written now";
    EXPECT_EQ(2u, ReadRuleHitFile(m_path)[RuleContentKey(rule)].count);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((m_path + L".tmp").c_str()));
}

} // namespace
