#include "rules/RuleModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

Rule* MakeRule(uint32_t kind, const wchar_t* pattern, int32_t group = 0)
{
    Rule* rule = new Rule();
    rule->groupId = group;
    rule->info = pattern;
    rule->params = BuildParamList(kind, "w", pattern);
    return rule;
}

std::vector<std::wstring> Infos(const ProgramEntry* entry, int32_t group = -1, int32_t kind = -1)
{
    std::vector<std::wstring> out;
    ForEachRule(entry, [&out](Rule* r) { out.push_back(r->info); }, group, kind);
    return out;
}

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};
using SetPtr = std::unique_ptr<RuleSet, SetDeleter>;

} // namespace

TEST(RuleModel, KindsOutsideTheTableHaveStandInTexts)
{
    EXPECT_STREQ(OperationKeyword(1), L"RegSetValue");
    EXPECT_STREQ(OperationKeyword(3), L"[Invalid reason]");
    EXPECT_STREQ(OperationDisplayName(2), L"运行程序");
    EXPECT_STREQ(OperationDisplayName(0xFFFFFFFFu), L"[无效]");
}

TEST(RuleModel, OperationFromKeywordIgnoresCase)
{
    struct Case {
        const wchar_t* text;
        uint32_t kind;
    } cases[] = {
        {L"Execute", 2}, {L"EXECUTE", 2}, {L"regsetvalue", 1}, {L"RegSetValue", 1},
        {L"OpenFile", 0}, {L"Run", 0}, {L"", 0}, {nullptr, 0}, {L"RegSetValue ", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OperationFromKeyword(c.text), c.kind) << (c.text ? c.text : L"(null)");
}

TEST(RuleModel, NewRuleSetHoldsTheEveryProgramEntry)
{
    SetPtr set(NewRuleSet());
    ASSERT_TRUE(set);
    EXPECT_EQ(set->count, 1);
    EXPECT_EQ(set->capacity, 128);
    EXPECT_STREQ(set->entries[0]->name, L"*");
    EXPECT_EQ(set->entries[0]->enabled, 1);
    for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k)
        EXPECT_EQ(set->entries[0]->rules[k], nullptr);
    EXPECT_EQ(RuleCount(set.get()), 0u);
}

TEST(RuleModel, EntryNamesAreCutTo259Characters)
{
    std::wstring longName(400, L'x');
    ProgramEntry* entry = NewProgramEntry(longName.c_str());
    EXPECT_EQ(wcslen(entry->name), 259u);
    FreeProgramEntry(entry);
}

TEST(RuleModel, AppendKeepsOrderPerKind)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    EXPECT_TRUE(AppendRule(all, MakeRule(2, L"e1")));
    EXPECT_TRUE(AppendRule(all, MakeRule(0, L"f1")));
    EXPECT_TRUE(AppendRule(all, MakeRule(1, L"r1")));
    EXPECT_TRUE(AppendRule(all, MakeRule(0, L"f2")));
    EXPECT_EQ(Infos(all), (std::vector<std::wstring>{L"f1", L"f2", L"r1", L"e1"}));
    EXPECT_EQ(Infos(all, -1, 0), (std::vector<std::wstring>{L"f1", L"f2"}));
    EXPECT_EQ(Infos(all, -1, 3), std::vector<std::wstring>{});

    Rule* bad = MakeRule(3, L"bad");
    EXPECT_FALSE(AppendRule(all, bad)); // no list for kind 3; caller keeps it
    delete bad;
}

TEST(RuleModel, RemoveRuleUnlinksAndAllowsAppendingAgain)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    Rule* a = MakeRule(0, L"a");
    Rule* b = MakeRule(0, L"b");
    Rule* c = MakeRule(0, L"c");
    AppendRule(all, a);
    AppendRule(all, b);
    AppendRule(all, c);
    EXPECT_TRUE(RemoveRule(all, c)); // the tail
    AppendRule(all, MakeRule(0, L"d"));
    EXPECT_TRUE(RemoveRule(all, a)); // the head
    EXPECT_EQ(Infos(all), (std::vector<std::wstring>{L"b", L"d"}));

    Rule* stranger = MakeRule(0, L"x");
    EXPECT_FALSE(RemoveRule(all, stranger));
    delete stranger;
}

TEST(RuleModel, RemoveRuleFromKindLeavesTheParamListToItsNewOwner)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    Rule* old = MakeRule(0, L"C:\\x");
    AppendRule(all, old);

    // An edit turns the OpenFile rule into an Execute rule.
    old->params->kind = OperationKind::Execute;
    Rule* moved = new Rule();
    moved->params = old->params;
    EXPECT_FALSE(RemoveRuleFromKind(all, 2, old)); // it is still in list 0
    EXPECT_TRUE(RemoveRuleFromKind(all, 0, old));
    EXPECT_TRUE(AppendRule(all, moved));
    EXPECT_EQ(all->rules[0], nullptr);
    ASSERT_EQ(all->rules[2], moved);
    EXPECT_STREQ(ParamEntryText(ParamEntryAt(moved->params, 0)), L"C:\\x");
}

TEST(RuleModel, ForEachRuleFiltersByGroupInKindOrder)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    AppendRule(all, MakeRule(2, L"exec5", 5));
    AppendRule(all, MakeRule(1, L"reg5", 5));
    AppendRule(all, MakeRule(0, L"file4", 4));
    AppendRule(all, MakeRule(0, L"file5", 5));
    EXPECT_EQ(Infos(all, 5), (std::vector<std::wstring>{L"file5", L"reg5", L"exec5"}));
    EXPECT_EQ(Infos(all, 4), (std::vector<std::wstring>{L"file4"}));
    EXPECT_EQ(Infos(all, 5, 1), (std::vector<std::wstring>{L"reg5"}));
}

TEST(RuleModel, ForEachRuleSurvivesRemovalOfTheVisitedRule)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    for (int i = 0; i < 4; ++i)
        AppendRule(all, MakeRule(0, std::to_wstring(i).c_str(), i % 2));
    ForEachRule(all, [all](Rule* r) { RemoveRule(all, r); }, 1, -1);
    EXPECT_EQ(Infos(all), (std::vector<std::wstring>{L"0", L"2"}));
}

TEST(RuleModel, AddingAnEntryOfTheSameNameMergesItsRules)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* notepad = NewProgramEntry(L"Notepad.exe");
    AppendRule(notepad, MakeRule(0, L"n1"));
    ASSERT_TRUE(AddProgramEntry(set.get(), notepad));
    EXPECT_EQ(set->count, 2);

    ProgramEntry* again = NewProgramEntry(L"NOTEPAD.EXE");
    AppendRule(again, MakeRule(0, L"n2"));
    AppendRule(again, MakeRule(2, L"n3"));
    ASSERT_TRUE(AddProgramEntry(set.get(), again));
    EXPECT_EQ(set->count, 2);
    EXPECT_EQ(Infos(set->entries[1]), (std::vector<std::wstring>{L"n1", L"n2", L"n3"}));

    // Appending after a merge continues the joined list.
    AppendRule(set->entries[1], MakeRule(0, L"n4"));
    EXPECT_EQ(Infos(set->entries[1], -1, 0), (std::vector<std::wstring>{L"n1", L"n2", L"n4"}));
}

TEST(RuleModel, The129thProgramIsRefused)
{
    SetPtr set(NewRuleSet());
    for (int i = 1; i < 128; ++i)
        ASSERT_TRUE(AddProgramEntry(set.get(), NewProgramEntry(std::to_wstring(i).c_str())));
    EXPECT_EQ(set->count, 128);
    ProgramEntry* extra = NewProgramEntry(L"one too many");
    AppendRule(extra, MakeRule(0, L"lost"));
    EXPECT_FALSE(AddProgramEntry(set.get(), extra)); // released with its rule
    EXPECT_EQ(set->count, 128);
    // A known name still merges when the set is full.
    EXPECT_TRUE(AddProgramEntry(set.get(), NewProgramEntry(L"127")));
    EXPECT_EQ(set->count, 128);
}

TEST(RuleModel, RuleIdentitiesAreUniqueNonZeroAndNeverReused)
{
    std::set<uint32_t> seen;
    for (int round = 0; round < 3; ++round) {
        SetPtr set(NewRuleSet());
        for (int i = 0; i < 100; ++i) {
            Rule* r = MakeRule(0, L"x");
            EXPECT_NE(r->id, 0u);
            EXPECT_TRUE(seen.insert(r->id).second) << "identity " << r->id << " reused";
            AppendRule(set->entries[0], r);
        }
    }
}

TEST(RuleModel, IdentityResolvesOnlyWhileTheRuleIsInTheSet)
{
    SetPtr set(NewRuleSet());
    Rule* a = MakeRule(0, L"a");
    Rule* b = MakeRule(1, L"b");
    AppendRule(set->entries[0], a);
    AppendRule(set->entries[0], b);
    uint32_t idA = a->id, idB = b->id;
    EXPECT_EQ(FindRuleById(set.get(), idA), a);
    EXPECT_EQ(FindRuleById(set.get(), idB), b);
    EXPECT_EQ(FindRuleById(set.get(), 0), nullptr);
    EXPECT_EQ(FindRuleById(nullptr, idA), nullptr);

    RemoveRule(set->entries[0], a);
    EXPECT_EQ(FindRuleById(set.get(), idA), nullptr);
    EXPECT_EQ(FindRuleById(set.get(), idB), b);

    // A rule of another set is not found here.
    SetPtr other(NewRuleSet());
    Rule* c = MakeRule(0, L"c");
    AppendRule(other->entries[0], c);
    EXPECT_EQ(FindRuleById(set.get(), c->id), nullptr);
    EXPECT_EQ(FindRuleById(other.get(), c->id), c);
}

TEST(RuleModel, IdentitiesOfAddedAndMergedEntriesResolve)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* first = NewProgramEntry(L"*");
    Rule* merged = MakeRule(0, L"m");
    AppendRule(first, merged);
    ProgramEntry* other = NewProgramEntry(L"a.exe");
    Rule* added = MakeRule(2, L"a");
    AppendRule(other, added);
    EXPECT_EQ(FindRuleById(set.get(), merged->id), nullptr); // not in the set yet
    AddProgramEntry(set.get(), first);
    AddProgramEntry(set.get(), other);
    EXPECT_EQ(FindRuleById(set.get(), merged->id), merged);
    EXPECT_EQ(FindRuleById(set.get(), added->id), added);
    EXPECT_EQ(set->byId.size(), 2u);
}

TEST(RuleModel, CopyRuleIntoTakesTheParamList)
{
    SetPtr set(NewRuleSet());
    PARAM_LIST* params = BuildParamList(1, "ww", L"HKLM\\*", L"*");
    Rule* r = CopyRuleInto(set->entries[0], RuleAction::Feign, RuleLog::Alert, RuleFlag::Ask, 7,
                           L"desc", params);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->params, params);
    EXPECT_EQ(r->action, RuleAction::Feign);
    EXPECT_EQ(r->log, RuleLog::Alert);
    EXPECT_EQ(r->flags, RuleFlag::Ask);
    EXPECT_EQ(r->groupId, 7);
    EXPECT_EQ(r->info, L"desc");
    EXPECT_EQ(set->entries[0]->rules[1], r);
    EXPECT_EQ(FindRuleById(set.get(), r->id), r);
}

TEST(RuleModel, NextGroupIdFillsTheFirstGap)
{
    GroupList groups;
    EXPECT_EQ(NextGroupId(&groups), 0);
    AddGroup(&groups, -1, L"a", L"");
    RuleGroup* one = AddGroup(&groups, -1, L"b", L"");
    AddGroup(&groups, -1, L"c", L"");
    EXPECT_EQ(one->id, 1);
    EXPECT_EQ(NextGroupId(&groups), 3);
    EXPECT_TRUE(RemoveGroup(&groups, one));
    EXPECT_EQ(NextGroupId(&groups), 1);
    RuleGroup* again = AddGroup(&groups, 1, L"b", L"");
    EXPECT_EQ(&groups.groups.back(), again); // appended after the group with id 2
    EXPECT_EQ(NextGroupId(&groups), 3);

    GroupList sparse;
    AddGroup(&sparse, 5, L"x", L"");
    AddGroup(&sparse, -3, L"y", L"");
    EXPECT_EQ(NextGroupId(&sparse), 0);
}

TEST(RuleModel, GroupNamesCompareWithCase)
{
    GroupList groups;
    AddGroup(&groups, -1, L"System", L"\x7cfb\x7edf");
    EXPECT_TRUE(FindGroupByName(&groups, L"System"));
    EXPECT_FALSE(FindGroupByName(&groups, L"system"));
    EXPECT_FALSE(FindGroupByName(&groups, L"Syste"));
    EXPECT_EQ(FindGroupById(&groups, 0)->info, L"\x7cfb\x7edf");
    EXPECT_EQ(FindGroupById(&groups, 1), nullptr);
    ClearGroups(&groups);
    EXPECT_TRUE(groups.groups.empty());
    EXPECT_FALSE(FindGroupByName(&groups, L"System"));
}

TEST(RuleModel, RemoveRulesTakesManyInOnePassAndLeavesStrangersAlone)
{
    SetPtr set(NewRuleSet());
    ProgramEntry* all = set->entries[0];
    std::vector<Rule*> rules;
    for (const wchar_t* info : { L"a", L"b", L"c", L"d" })
        rules.push_back(MakeRule(0, info));
    Rule* registry = MakeRule(1, L"r");
    for (Rule* r : rules)
        AppendRule(all, r);
    AppendRule(all, registry);
    Rule* stranger = MakeRule(0, L"x");
    const uint32_t gone = rules[0]->id;

    // Head, middle and tail of one list, a rule of another list, a stranger.
    EXPECT_EQ(4u, RemoveRules(all, { rules[0], rules[2], rules[3], registry, stranger }));
    EXPECT_EQ(Infos(all), (std::vector<std::wstring>{ L"b" }));
    EXPECT_EQ(nullptr, FindRuleById(set.get(), gone));
    AppendRule(all, MakeRule(0, L"e")); // the tail was kept right
    EXPECT_EQ(Infos(all), (std::vector<std::wstring>{ L"b", L"e" }));
    EXPECT_EQ(0u, RemoveRules(all, {}));
    delete stranger;
}
