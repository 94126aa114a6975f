// The editor's operations on its copy of the model: deleting a group with its
// rules, importing a group file, the rule dialog's parameter list and kind
// changes, and finding a rule of another copy by its content.
#include "rules/RuleEditing.h"
#include "rules/RuleFile.h"

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

std::vector<std::wstring> Infos(const ProgramEntry* entry, int32_t group = -1, int32_t kind = -1)
{
    std::vector<std::wstring> infos;
    for (Rule* r : CollectRules(entry, group, kind))
        infos.push_back(r->info);
    return infos;
}

std::wstring TempFile(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"hm_editing_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

TEST(RuleEditing, DeletingAGroupRemovesExactlyItsRules)
{
    SetPtr set = NewSet();
    ProgramEntry* e = set->entries[0];
    GroupList groups;
    AddGroup(&groups, 0, L"a", L"");
    RuleGroup* b = AddGroup(&groups, 1, L"b", L"");
    AddGroup(&groups, 2, L"c", L"");
    Add(e, 2, L"b-exec", 1);
    Add(e, 0, L"a-file", 0);
    Add(e, 0, L"b-file", 1);
    Add(e, 1, L"c-reg", 2);
    Add(e, 1, L"b-reg", 1);
    Add(e, 2, L"none-exec", 7);

    EXPECT_EQ(3, DeleteGroupWithRules(e, &groups, b));
    EXPECT_EQ((std::vector<std::wstring>{ L"a-file", L"c-reg", L"none-exec" }), Infos(e));
    ASSERT_EQ(2u, groups.groups.size());
    EXPECT_FALSE(FindGroupByName(&groups, L"b"));
    RuleGroup stranger;
    EXPECT_EQ(-1, DeleteGroupWithRules(e, &groups, &stranger));
    EXPECT_EQ(3u, RuleCount(set.get()));
}

TEST(RuleEditing, ImportTakesTheFirstGroupAndEveryRuleOrRefusesAndChangesNothing)
{
    // A file with two groups and rules of both (and of no group) in two entries.
    const std::wstring twoGroups = TempFile(L"two.erd");
    {
        SetPtr file = NewSet();
        Add(file->entries[0], 2, L"x-exec", 5);
        Add(file->entries[0], 0, L"y-file", 6);
        Add(file->entries[0], 0, L"stray", 9);
        ProgramEntry* other = NewProgramEntry(L"cmd.exe");
        Add(other, 1, L"x-reg", 5);
        AddProgramEntry(file.get(), other);
        GroupList fileGroups;
        AddGroup(&fileGroups, 5, L"Office", L"办公");
        AddGroup(&fileGroups, 6, L"Other", L"");
        ASSERT_EQ(0, WriteRuleFile(&fileGroups, file.get(), twoGroups.c_str(), RULE_FILE_ALL_GROUPS));
    }
    const std::wstring noGroup = TempFile(L"nogroup.erd");
    {
        SetPtr file = NewSet();
        Add(file->entries[0], 0, L"lonely", 0);
        ASSERT_EQ(0, WriteRuleFile(nullptr, file.get(), noGroup.c_str(), RULE_FILE_ALL_GROUPS));
    }

    struct Case {
        const wchar_t* existing; // a group the editor has already
        std::wstring path;
        int result;
    } cases[] = {
        { L"office", twoGroups, 0 },  // differs only in letter case: imported
        { L"Office", twoGroups, -2 }, // same name: nothing
        { L"g", noGroup, -1 },        // no group in the file: nothing
        { L"g", TempFile(L"absent.erd"), -1 },
    };
    for (const Case& c : cases) {
        SetPtr set = NewSet();
        GroupList groups;
        AddGroup(&groups, 0, c.existing, L"");
        Add(set->entries[0], 0, L"mine", 0);
        RuleGroup* imported = nullptr;
        std::wstring name;
        EXPECT_EQ(c.result, ImportRuleGroup(c.path.c_str(), set->entries[0], &groups, &imported, &name))
            << c.existing;
        if (c.result != 0) {
            EXPECT_EQ(1u, groups.groups.size());
            EXPECT_EQ((std::vector<std::wstring>{ L"mine" }), Infos(set->entries[0]));
            if (c.result == -2) {
                EXPECT_EQ(L"Office", name);
            }
            continue;
        }
        ASSERT_NE(nullptr, imported);
        EXPECT_EQ(L"Office", imported->name);
        EXPECT_EQ(L"办公", imported->info);
        EXPECT_EQ(1, imported->id); // a new id, not the file's
        EXPECT_EQ(2u, groups.groups.size());
        // Every rule of the file, of every group and entry, kind by kind, in the new group.
        EXPECT_EQ((std::vector<std::wstring>{ L"y-file", L"stray", L"x-reg", L"x-exec" }),
                  Infos(set->entries[0], imported->id));
    }
    DeleteFileW(twoGroups.c_str());
    DeleteFileW(noGroup.c_str());
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

TEST(RuleEditing, EditsKeepTheRulesPlaceUnlessTheKindChanges)
{
    SetPtr set = NewSet();
    ProgramEntry* e = set->entries[0];
    Rule* first = Add(e, 0, L"first", 4, L"C:\\1");
    Add(e, 0, L"second", 4, L"C:\\2");
    Add(e, 2, L"exec", 4, L"x.exe");
    first->flags = RuleFlag::Ask | RuleFlag::Scan;

    // Description only: same rule, same place; Scan dropped, log and action unchanged when unset.
    RULE_EDIT edit{ OperationKind::OpenFile, L"first!", L"C:\\1", L"", true, -1, -1 };
    EXPECT_EQ(first, ApplyRuleEdit(e, first, edit));
    EXPECT_EQ((std::vector<std::wstring>{ L"first!", L"second" }), Infos(e, -1, 0));
    EXPECT_EQ(RuleFlag::Ask, first->flags);
    EXPECT_EQ(RuleLog::Log, first->log);
    EXPECT_EQ(RuleAction::Reject, first->action);

    // Switched to Execute: a new rule at the end of the Execute list, same group.
    edit = RULE_EDIT{ OperationKind::Execute, L"now exec", L"C:\\run.exe", L"", false, RuleLog::None,
                      RuleAction::Accept };
    Rule* moved = ApplyRuleEdit(e, first, edit);
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ((std::vector<std::wstring>{ L"second" }), Infos(e, -1, 0));
    EXPECT_EQ((std::vector<std::wstring>{ L"exec", L"now exec" }), Infos(e, -1, 2));
    EXPECT_EQ(4, moved->groupId);
    EXPECT_EQ(0, moved->flags);
    EXPECT_EQ(RuleAction::Accept, moved->action);
    EXPECT_EQ(moved, FindRuleById(set.get(), moved->id));
    EXPECT_EQ(3u, RuleCount(set.get()));

    // A new rule with neither log nor action chosen starts from zero.
    Rule* fresh = ApplyRuleEdit(e, nullptr, RULE_EDIT{ 1, L"", L"HKLM\\X", L"", true, -1, -1 });
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ(0, fresh->groupId);
    EXPECT_EQ(RuleAction::Accept, fresh->action);
    EXPECT_EQ(RuleLog::None, fresh->log);
    EXPECT_EQ((std::vector<std::wstring>{ L"" }), Infos(e, -1, 1));
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
