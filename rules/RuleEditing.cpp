#include "rules/RuleEditing.h"

#include "rules/RuleFile.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

std::vector<Rule*> CollectRules(const ProgramEntry* entry, int32_t groupId, int32_t kind)
{
    std::vector<Rule*> rules;
    ForEachRule(entry, [&rules](Rule* rule) { rules.push_back(rule); }, groupId, kind);
    return rules;
}

int DeleteGroupWithRules(ProgramEntry* entry, GroupList* groups, const RuleGroup* group)
{
    if (!groups || !group)
        return -1;
    const int32_t id = group->id;
    if (!RemoveGroup(groups, group))
        return -1;
    int removed = 0;
    for (Rule* rule : CollectRules(entry, id, -1))
        removed += RemoveRule(entry, rule) ? 1 : 0;
    return removed;
}

int ImportRuleGroup(const wchar_t* path, ProgramEntry* target, GroupList* groups, RuleGroup** imported,
                    std::wstring* name)
{
    GroupList fileGroups;
    std::unique_ptr<RuleSet, void (*)(RuleSet*)> fileSet(ReadRuleFile(&fileGroups, path), FreeRuleSet);
    if (!fileSet || fileGroups.groups.empty())
        return -1;
    const RuleGroup& first = fileGroups.groups.front();
    if (name)
        *name = first.name;
    if (FindGroupByName(groups, first.name.c_str()))
        return -2;
    RuleGroup* group = AddGroup(groups, -1, first.name.c_str(), first.info.c_str());
    if (!group)
        return -1;
    for (int32_t i = 0; i < fileSet->count; ++i) {
        for (const Rule* rule : CollectRules(fileSet->entries[i], -1, -1))
            CopyRuleInto(target, rule->action, rule->log, rule->flags, group->id, rule->info.c_str(),
                         CopyParamList(rule->params));
    }
    if (imported)
        *imported = group;
    return 0;
}

PARAM_LIST* BuildDialogParams(uint32_t kind, const std::wstring& param1, const std::wstring& param2)
{
    if (kind >= OPERATION_KIND_COUNT)
        return nullptr;
    const bool registry = kind == OperationKind::SetRegistryValue;
    const std::wstring second = param2.empty() ? L"*" : param2;
    const uint32_t entries = registry ? ParamListSize("ww", param1.c_str(), second.c_str())
                                      : ParamListSize("w", param1.c_str());
    const uint32_t size = PARAM_LIST_EMPTY_SIZE + entries;
    PARAM_LIST* list = static_cast<PARAM_LIST*>(calloc(1, size));
    if (!list)
        return nullptr;
    list->size = size;
    const int filled = registry ? FillParamList(list, kind, "ww", param1.c_str(), second.c_str())
                                : FillParamList(list, kind, "w", param1.c_str());
    if (!filled) {
        FreeParamList(list);
        return nullptr;
    }
    return list;
}

Rule* ApplyRuleEdit(ProgramEntry* entry, Rule* rule, const RULE_EDIT& edit)
{
    if (!entry)
        return nullptr;
    PARAM_LIST* params = BuildDialogParams(edit.kind, edit.param1, edit.param2);
    if (!params)
        return nullptr;
    const uint16_t flags = edit.ask ? RuleFlag::Ask : 0;
    if (!rule) {
        // A new rule starts with every field zero.
        uint16_t log = RuleLog::None;
        uint16_t action = RuleAction::Accept;
        if (edit.log >= 0)
            log = static_cast<uint16_t>(edit.log);
        if (edit.action >= 0)
            action = static_cast<uint16_t>(edit.action);
        return CopyRuleInto(entry, action, log, flags, 0, edit.info.c_str(), params);
    }
    rule->info = edit.info;
    rule->flags = flags;
    if (edit.log >= 0)
        rule->log = static_cast<uint16_t>(edit.log);
    if (edit.action >= 0)
        rule->action = static_cast<uint16_t>(edit.action);
    // The kind of the list the rule is in, the one it had when the dialog opened.
    const uint32_t kindNow = RuleKind(rule);
    if (edit.kind == kindNow) {
        FreeParamList(rule->params);
        rule->params = params;
        return rule;
    }
    // The kind changed: the rule moves to the end of its new kind's list.
    Rule* moved = CopyRuleInto(entry, rule->action, rule->log, rule->flags, rule->groupId, rule->info.c_str(), params);
    if (!moved)
        return nullptr;
    FreeParamList(rule->params); // replaced by the new list, which `moved` owns
    rule->params = nullptr;
    RemoveRuleFromKind(entry, kindNow, rule);
    return moved;
}

RULE_CONTENT CopyRuleContent(const Rule* rule)
{
    RULE_CONTENT content;
    if (!rule)
        return content;
    content.action = rule->action;
    content.log = rule->log;
    content.flags = rule->flags;
    content.groupId = rule->groupId;
    content.info = rule->info;
    content.params.reset(CopyParamList(rule->params), FreeParamList);
    return content;
}

bool RuleHasContent(const Rule* rule, const RULE_CONTENT& content)
{
    return rule && rule->action == content.action && rule->log == content.log && rule->flags == content.flags &&
           rule->info == content.info && ParamListEqual(rule->params, content.params.get());
}

std::wstring ParamFullText(const PARAM_LIST* params, uint32_t index)
{
    const PARAM_ENTRY* entry = ParamEntryAt(params, index);
    if (entry && ParamEntryText(entry))
        return ParamEntryText(entry);
    wchar_t buffer[64] = {};
    FormatParam(params, index, buffer, 64);
    return buffer;
}

std::wstring FoldCase(const std::wstring& text)
{
    std::wstring folded = text;
    if (!folded.empty())
        CharLowerBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}

bool RuleContainsText(const Rule* rule, const std::wstring& folded)
{
    if (folded.empty())
        return true;
    if (!rule)
        return false;
    if (FoldCase(rule->info).find(folded) != std::wstring::npos)
        return true;
    const uint32_t params = RuleKind(rule) == OperationKind::SetRegistryValue ? 2 : 1;
    for (uint32_t i = 0; i < params; ++i) {
        if (FoldCase(ParamFullText(rule->params, i)).find(folded) != std::wstring::npos)
            return true;
    }
    return false;
}
