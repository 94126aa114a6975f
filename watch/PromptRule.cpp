#include "watch/PromptRule.h"

#include "rules/RuleFile.h"

#include <memory>

namespace {

struct Place {
    ProgramEntry* entry = nullptr;
    Rule* before = nullptr;
};

// Where the asking rule is in the file's copy: identities differ between
// copies, contents do not.
Place FindAsking(const RuleSet* set, const RULE_CONTENT& asking, uint32_t kind)
{
    Place first;
    for (int32_t i = 0; i < set->count; ++i) {
        ProgramEntry* entry = set->entries[i];
        for (Rule* rule = entry->rules[kind]; rule; rule = rule->next) {
            if (!RuleHasContent(rule, asking))
                continue;
            if (rule->groupId == asking.groupId)
                return Place{ entry, rule };
            if (!first.entry)
                first = Place{ entry, rule };
        }
    }
    if (!first.entry && set->count > 0)
        first = Place{ set->entries[0], set->entries[0]->rules[kind] };
    return first;
}

int32_t GroupNamed(GroupList* groups, const std::wstring& name)
{
    for (const RuleGroup& group : groups->groups)
        if (group.name == name)
            return group.id;
    RuleGroup* added = AddGroup(groups, -1, name.c_str(), L"");
    return added ? added->id : -1;
}

} // namespace

PromptRuleResult AddPromptRule(const std::wstring& ruleFile, const RULE_CONTENT& asking, const PROMPT_RULE& rule,
                               const std::wstring& groupName)
{
    PARAM_LIST* params = nullptr;
    if (rule.kind == OperationKind::SetRegistryValue)
        params = BuildParamList(rule.kind, "ww", rule.param1.c_str(), rule.param2.c_str());
    else if (rule.kind < OPERATION_KIND_COUNT)
        params = BuildParamList(rule.kind, "w", rule.param1.c_str());
    if (!params)
        return PromptRuleResult::NoParameters;

    GroupList groups;
    std::unique_ptr<RuleSet, void (*)(RuleSet*)> set(ReadRuleFile(&groups, ruleFile.c_str()), FreeRuleSet);
    Place place = set ? FindAsking(set.get(), asking, rule.kind) : Place();
    Rule* added = nullptr;
    const int32_t groupId = place.entry ? GroupNamed(&groups, groupName) : -1;
    if (place.entry && groupId >= 0)
        added = CopyRuleInto(place.entry, rule.action, rule.log, 0, groupId, rule.info.c_str(), params);
    else
        FreeParamList(params);
    PromptRuleResult result = PromptRuleResult::NoParameters;
    if (added) {
        MoveRuleBefore(place.entry, added, place.before);
        result = WriteRuleFile(&groups, set.get(), ruleFile.c_str(), RULE_FILE_ALL_GROUPS) == 0
                     ? PromptRuleResult::Written
                     : PromptRuleResult::WriteFailed;
    }
    ClearGroups(&groups);
    return result;
}
