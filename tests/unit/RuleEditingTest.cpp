// What the window tests cannot see of the editor's model operations: the
// byte sizes of the rule dialog's parameter list, and which fields make two
// rules of different copies the same rule.
#include "rules/RuleEditing.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using SetPtr = std::unique_ptr<RuleSet, void (*)(RuleSet*)>;

SetPtr NewSet()
{
    return SetPtr(NewRuleSet(), FreeRuleSet);
}

Rule* Add(ProgramEntry* entry, uint32_t kind, const wchar_t* info, int32_t group, const wchar_t* pattern = L"*")
{
    PARAM_LIST* params = kind == 1 ? BuildParamList(kind, "ww", pattern, L"*") : BuildParamList(kind, "w", pattern);
    return CopyRuleInto(entry, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, group, info, params);
}

TEST(RuleEditing, DialogParametersAreWildcardsWithTheDialogsSizes)
{
    struct Case {
        uint32_t kind;
        const wchar_t* p1;
        const wchar_t* p2;
        uint32_t count;
        const wchar_t* second;
    } cases[] = {
        { 0, L"C:\\a\\*", L"ignored", 1, nullptr },
        { 2, L"*\\x.exe", L"", 1, nullptr },
        { 1, L"HKEY_CURRENT_USER\\Run", L"", 2, L"*" },
        { 1, L"HKLM", L"Name", 2, L"Name" },
    };
    for (const Case& c : cases) {
        std::unique_ptr<PARAM_LIST, void (*)(PARAM_LIST*)> list(BuildDialogParams(c.kind, c.p1, c.p2), FreeParamList);
        ASSERT_TRUE(list) << c.p1;
        EXPECT_EQ(c.kind, list->kind);
        ASSERT_EQ(c.count, list->count);
        uint32_t entries = 0;
        for (uint32_t i = 0; i < c.count; ++i) {
            const PARAM_ENTRY* entry = ParamEntryAt(list.get(), i);
            ASSERT_TRUE(entry);
            EXPECT_EQ(ParamType::Wildcards, entry->type);
            const std::wstring text = ParamEntryText(entry);
            EXPECT_EQ(8 + 2 * (text.size() + 1), entry->size);
            entries += entry->size;
        }
        EXPECT_EQ(std::wstring(c.p1), ParamEntryText(ParamEntryAt(list.get(), 0)));
        if (c.second) {
            EXPECT_EQ(std::wstring(c.second), ParamEntryText(ParamEntryAt(list.get(), 1)));
        }
        EXPECT_EQ(23 + entries, list->size);
    }
    EXPECT_EQ(nullptr, BuildDialogParams(3, L"x", L""));
}

TEST(RuleEditing, ARuleOfAnotherCopyIsFoundByItsContent)
{
    SetPtr driverSet = NewSet();
    Rule* original = Add(driverSet->entries[0], 1, L"启动项", 3, L"HKLM\\Run");
    RULE_CONTENT content = CopyRuleContent(original);
    driverSet.reset(); // the copy outlives the set it came from

    SetPtr editorSet = NewSet();
    ProgramEntry* e = editorSet->entries[0];
    Rule* otherInfo = Add(e, 1, L"启动项2", 3, L"HKLM\\Run");
    Rule* otherPattern = Add(e, 1, L"启动项", 3, L"HKLM\\Run\\*");
    Rule* otherKind = Add(e, 0, L"启动项", 3, L"HKLM\\Run");
    Rule* same = Add(e, 1, L"启动项", 8, L"HKLM\\Run"); // another group still matches
    for (Rule* r : { otherInfo, otherPattern, otherKind })
        EXPECT_FALSE(RuleHasContent(r, content)) << r->info;
    EXPECT_TRUE(RuleHasContent(same, content));
    same->flags = 0;
    EXPECT_FALSE(RuleHasContent(same, content));
    EXPECT_FALSE(RuleHasContent(nullptr, content));
}

} // namespace

TEST(RuleEditing, RulesAreFoundByDescriptionOrParametersWithoutRegardToCase)
{
    SetPtr set = NewSet();
    ProgramEntry* all = set->entries[0];
    const Rule* file = Add(all, OperationKind::OpenFile, L"系统文件 Hosts", 0, L"C:\\Windows\\System32\\*");
    const Rule* registry = CopyRuleInto(all, RuleAction::Reject, RuleLog::Log, 0, 0, L"启动项",
                                        BuildParamList(1, "ww", L"HKEY_LOCAL_MACHINE\\Run", L"Updater"));
    const struct {
        const wchar_t* text;
        bool inFile, inRegistry;
    } cases[] = {
        { L"", true, true },           { L"hosts", true, false },      { L"SYSTEM32", true, false },
        { L"c:\\windows", true, false }, { L"启动", false, true },       { L"updater", false, true },
        { L"hkey_local", false, true }, { L"no such text", false, false }, { L"*", true, false },
    };
    for (const auto& c : cases) {
        const std::wstring folded = FoldCase(c.text);
        EXPECT_EQ(c.inFile, RuleContainsText(file, folded)) << c.text;
        EXPECT_EQ(c.inRegistry, RuleContainsText(registry, folded)) << c.text;
    }
    EXPECT_FALSE(RuleContainsText(nullptr, L"a"));
}
