// The rule a prompt's "always" answer writes into the rule file.
#include "watch/PromptRule.h"

#include "rules/RuleFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const wchar_t kGroup[] = L"提示创建的规则";
const wchar_t kRunKey[] = L"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

using SetPtr = std::unique_ptr<RuleSet, void (*)(RuleSet*)>;

class PromptRuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"hm_promptrule_" + std::to_wstring(GetCurrentProcessId()) + L".erd";
        // In "*": a registry rule before and after the asking one, and an
        // asking file rule; a second program entry asks about the same key.
        SetPtr set(NewRuleSet(), FreeRuleSet);
        ProgramEntry* all = set->entries[0];
        CopyRuleInto(all, RuleAction::Accept, RuleLog::None, 0, 1, L"before", BuildParamList(1, "w*", L"\\REGISTRY\\*"));
        m_asking = CopyRuleContent(CopyRuleInto(all, RuleAction::Accept, RuleLog::Log, RuleFlag::Ask, 1, L"启动项",
                                                BuildParamList(1, "w*", kRunKey)));
        CopyRuleInto(all, RuleAction::Reject, RuleLog::None, 0, 1, L"after", BuildParamList(1, "w*", L"*"));
        m_askingFile = CopyRuleContent(CopyRuleInto(all, RuleAction::Reject, RuleLog::None, RuleFlag::Ask, 1, L"临时文件",
                                                    BuildParamList(0, "w", L"C:\\Temp\\*")));
        GroupList groups;
        AddGroup(&groups, 1, L"测试", L"");
        ASSERT_EQ(0, WriteRuleFile(&groups, set.get(), m_path.c_str(), RULE_FILE_ALL_GROUPS));
    }
    void TearDown() override
    {
        SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(m_path.c_str());
    }

    // The descriptions of one kind's rules in the re-read file's first entry,
    // and the groups it holds.
    std::vector<std::wstring> Infos(uint32_t kind, GroupList* groups)
    {
        SetPtr set(ReadRuleFile(groups, m_path.c_str()), FreeRuleSet);
        std::vector<std::wstring> infos;
        for (const Rule* r = set->entries[0]->rules[kind]; r; r = r->next)
            infos.push_back(r->info + (r->groupId == 1 ? L"" : L"+"));
        return infos;
    }
    std::string Bytes() const
    {
        std::ifstream in(m_path.c_str(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::wstring m_path;
    RULE_CONTENT m_asking, m_askingFile;
};

PROMPT_RULE Made(uint32_t kind, const wchar_t* p1, const wchar_t* p2, uint16_t action, const RULE_CONTENT& asking)
{
    PROMPT_RULE rule;
    rule.kind = kind;
    rule.param1 = p1;
    rule.param2 = p2 ? p2 : L"";
    rule.action = action;
    rule.log = asking.log;
    rule.info = asking.info;
    return rule;
}

} // namespace

TEST_F(PromptRuleTest, RuleGoesJustBeforeTheAskingRuleInOneGroupMadeOnce)
{
    ASSERT_EQ(PromptRuleResult::Written,
              AddPromptRule(m_path, m_asking, Made(1, kRunKey, L"", RuleAction::Reject, m_asking), kGroup));
    ASSERT_EQ(PromptRuleResult::Written,
              AddPromptRule(m_path, m_askingFile, Made(0, L"C:\\Temp\\a.exe", nullptr, RuleAction::Accept, m_askingFile),
                            kGroup));

    GroupList groups;
    // "+": a rule outside the scenario's group 1.
    EXPECT_EQ(Infos(1, &groups), (std::vector<std::wstring>{ L"before", L"启动项+", L"启动项", L"after" }));
    ClearGroups(&groups);
    EXPECT_EQ(Infos(0, &groups), (std::vector<std::wstring>{ L"临时文件+", L"临时文件" }));
    int named = 0;
    for (const RuleGroup& g : groups.groups)
        named += g.name == kGroup;
    EXPECT_EQ(1, named) << "the group is made once and then found";
    ClearGroups(&groups);

    // What the new registry rule holds: the texts as they came (an empty
    // value name stays empty), the answer as its action, no Ask flag.
    SetPtr set(ReadRuleFile(&groups, m_path.c_str()), FreeRuleSet);
    const Rule* made = set->entries[0]->rules[1]->next;
    ASSERT_TRUE(made);
    EXPECT_EQ(RuleAction::Reject, made->action);
    EXPECT_EQ(RuleLog::Log, made->log);
    EXPECT_EQ(0, made->flags);
    EXPECT_EQ(std::wstring(kRunKey), ParamFullText(made->params, 0));
    EXPECT_EQ(L"", ParamFullText(made->params, 1));
    EXPECT_EQ(uint32_t(ParamType::Wildcards), ParamEntryAt(made->params, 0)->type);
    ClearGroups(&groups);
}

TEST_F(PromptRuleTest, AskingRuleGoneOrFileReadOnly)
{
    // The file no longer has the asking rule: the new rule comes first.
    RULE_CONTENT gone = m_asking;
    gone.info = L"已删除";
    ASSERT_EQ(PromptRuleResult::Written,
              AddPromptRule(m_path, gone, Made(1, kRunKey, L"Evil", RuleAction::Accept, gone), kGroup));
    GroupList groups;
    EXPECT_EQ(Infos(1, &groups), (std::vector<std::wstring>{ L"已删除+", L"before", L"启动项", L"after" }));
    ClearGroups(&groups);

    // A file that cannot be replaced stays as it was.
    const std::string before = Bytes();
    SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(PromptRuleResult::WriteFailed,
              AddPromptRule(m_path, m_asking, Made(1, kRunKey, L"", RuleAction::Reject, m_asking), kGroup));
    EXPECT_EQ(before, Bytes());
    EXPECT_EQ(PromptRuleResult::NoParameters,
              AddPromptRule(m_path, m_asking, Made(7, L"x", nullptr, RuleAction::Reject, m_asking), kGroup));
}
