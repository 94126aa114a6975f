#include "rules/RuleModel.h"

#include "base/LateBound.h"

#include <atomic>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

bool SameIgnoringCase(const wchar_t* a, const wchar_t* b)
{
    return EqualNoCaseOrdinal(a, b);
}

std::atomic<uint32_t> g_lastRuleIdentity{0};

void IndexRule(RuleSet* set, Rule* rule)
{
    if (set)
        set->byId[rule->id] = rule;
}

void UnindexRule(RuleSet* set, const Rule* rule)
{
    if (set)
        set->byId.erase(rule->id);
}

// Unlinks `rule` from list `kind`; false when it is not there.
bool Unlink(ProgramEntry* entry, uint32_t kind, Rule* rule)
{
    if (!entry || !rule || kind >= OPERATION_KIND_COUNT)
        return false;
    Rule* previous = nullptr;
    for (Rule* r = entry->rules[kind]; r; previous = r, r = r->next) {
        if (r != rule)
            continue;
        if (previous)
            previous->next = r->next;
        else
            entry->rules[kind] = r->next;
        if (entry->tails[kind] == r)
            entry->tails[kind] = previous;
        r->next = nullptr;
        UnindexRule(entry->owner, r);
        return true;
    }
    return false;
}

void FreeRuleList(Rule* head)
{
    while (head) {
        Rule* next = head->next;
        delete head;
        head = next;
    }
}

} // namespace

// ---- rules -----------------------------------------------------------------

uint32_t NewRuleIdentity()
{
    uint32_t id = g_lastRuleIdentity.fetch_add(1, std::memory_order_relaxed) + 1;
    if (id == 0) // after four billion rules; 0 stays reserved
        id = g_lastRuleIdentity.fetch_add(1, std::memory_order_relaxed) + 1;
    return id;
}

uint32_t RuleKind(const Rule* rule)
{
    return rule && rule->params ? rule->params->kind : OPERATION_KIND_COUNT;
}

// ---- program entries and the rule set ---------------------------------------

void SetProgramEntryName(ProgramEntry* entry, const wchar_t* name)
{
    if (!entry)
        return;
    size_t n = 0;
    if (name) {
        while (n < PROGRAM_NAME_CHARS - 1 && name[n]) {
            entry->name[n] = name[n];
            ++n;
        }
    }
    entry->name[n] = L'\0';
}

ProgramEntry* NewProgramEntry(const wchar_t* name)
{
    ProgramEntry* entry = new (std::nothrow) ProgramEntry();
    if (entry)
        SetProgramEntryName(entry, name);
    return entry;
}

void FreeProgramEntry(ProgramEntry* entry)
{
    if (!entry)
        return;
    for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k) {
        for (Rule* r = entry->rules[k]; r; r = r->next)
            UnindexRule(entry->owner, r);
        FreeRuleList(entry->rules[k]);
    }
    delete entry;
}

RuleSet* NewRuleSet()
{
    RuleSet* set = new (std::nothrow) RuleSet();
    if (!set)
        return nullptr;
    ProgramEntry* all = NewProgramEntry(L"*");
    if (!all) {
        delete set;
        return nullptr;
    }
    all->owner = set;
    set->entries[0] = all;
    set->count = 1;
    return set;
}

bool AddProgramEntry(RuleSet* set, ProgramEntry* entry)
{
    if (!entry)
        return false;
    if (!set) {
        FreeProgramEntry(entry);
        return false;
    }
    for (int32_t i = set->count - 1; i >= 0; --i) {
        ProgramEntry* found = set->entries[i];
        if (!SameIgnoringCase(found->name, entry->name))
            continue;
        for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k) {
            Rule* head = entry->rules[k];
            if (!head)
                continue;
            if (found->tails[k])
                found->tails[k]->next = head;
            else
                found->rules[k] = head;
            found->tails[k] = entry->tails[k];
            for (Rule* r = head; r; r = r->next)
                IndexRule(set, r);
            entry->rules[k] = entry->tails[k] = nullptr;
        }
        FreeProgramEntry(entry);
        return true;
    }
    if (set->count >= set->capacity) {
        FreeProgramEntry(entry);
        return false;
    }
    entry->owner = set;
    for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k) {
        for (Rule* r = entry->rules[k]; r; r = r->next)
            IndexRule(set, r);
    }
    set->entries[set->count++] = entry;
    return true;
}

void FreeRuleSet(RuleSet* set)
{
    if (!set)
        return;
    for (int32_t i = set->count - 1; i >= 0; --i) {
        set->entries[i]->owner = nullptr; // the index goes with the set
        FreeProgramEntry(set->entries[i]);
        set->entries[i] = nullptr;
    }
    delete set;
}

Rule* FindRuleById(const RuleSet* set, uint32_t id)
{
    if (!set || id == 0)
        return nullptr;
    auto it = set->byId.find(id);
    return it == set->byId.end() ? nullptr : it->second;
}

size_t RuleCount(const RuleSet* set)
{
    size_t n = 0;
    if (!set)
        return 0;
    for (int32_t i = 0; i < set->count; ++i) {
        for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k) {
            for (const Rule* r = set->entries[i]->rules[k]; r; r = r->next)
                ++n;
        }
    }
    return n;
}

// ---- rule lists of one entry --------------------------------------------------

bool AppendRule(ProgramEntry* entry, Rule* rule)
{
    uint32_t kind = RuleKind(rule);
    if (!entry || kind >= OPERATION_KIND_COUNT)
        return false;
    rule->next = nullptr;
    if (entry->tails[kind])
        entry->tails[kind]->next = rule;
    else
        entry->rules[kind] = rule;
    entry->tails[kind] = rule;
    IndexRule(entry->owner, rule);
    return true;
}

bool MoveRuleBefore(ProgramEntry* entry, Rule* rule, const Rule* before)
{
    const uint32_t kind = RuleKind(rule);
    if (!entry || kind >= OPERATION_KIND_COUNT || rule == before)
        return false;
    bool found = !before;
    for (const Rule* r = entry->rules[kind]; r && !found; r = r->next)
        found = r == before;
    if (!found || !Unlink(entry, kind, rule))
        return false;
    Rule** link = &entry->rules[kind];
    while (before && *link != before)
        link = &(*link)->next;
    rule->next = *link;
    *link = rule;
    if (!rule->next)
        entry->tails[kind] = rule;
    IndexRule(entry->owner, rule);
    return true;
}

bool RemoveRule(ProgramEntry* entry, Rule* rule)
{
    if (!Unlink(entry, RuleKind(rule), rule))
        return false;
    delete rule;
    return true;
}

size_t RemoveRules(ProgramEntry* entry, const std::vector<Rule*>& rules)
{
    if (!entry || rules.empty())
        return 0;
    std::unordered_set<const Rule*> doomed(rules.begin(), rules.end());
    size_t removed = 0;
    for (uint32_t kind = 0; kind < OPERATION_KIND_COUNT; ++kind) {
        Rule* previous = nullptr;
        for (Rule* r = entry->rules[kind]; r;) {
            Rule* next = r->next;
            if (doomed.erase(r) == 0) {
                previous = r;
                r = next;
                continue;
            }
            if (previous)
                previous->next = next;
            else
                entry->rules[kind] = next;
            if (entry->tails[kind] == r)
                entry->tails[kind] = previous;
            r->next = nullptr;
            UnindexRule(entry->owner, r);
            delete r;
            ++removed;
            r = next;
        }
    }
    return removed;
}

bool RemoveRuleFromKind(ProgramEntry* entry, uint32_t kind, Rule* rule)
{
    if (!Unlink(entry, kind, rule))
        return false;
    rule->params = nullptr; // now belongs to the replacement rule
    delete rule;
    return true;
}

void ForEachRule(const ProgramEntry* entry, RuleCallback callback, void* context,
                 int32_t groupId, int32_t kind)
{
    if (!entry || !callback)
        return;
    uint32_t first = 0, last = OPERATION_KIND_COUNT - 1;
    if (kind != -1) {
        if (kind < 0 || static_cast<uint32_t>(kind) >= OPERATION_KIND_COUNT)
            return;
        first = last = static_cast<uint32_t>(kind);
    }
    for (uint32_t k = first; k <= last; ++k) {
        Rule* next = nullptr;
        for (Rule* r = entry->rules[k]; r; r = next) {
            next = r->next; // the callback may remove r
            if (groupId == -1 || r->groupId == groupId)
                callback(context, r);
        }
    }
}

Rule* CopyRuleInto(ProgramEntry* entry, uint16_t action, uint16_t log, uint16_t flags,
                   int32_t groupId, const wchar_t* description, PARAM_LIST* params)
{
    Rule* rule = new (std::nothrow) Rule();
    if (!rule) {
        FreeParamList(params);
        return nullptr;
    }
    rule->action = action;
    rule->log = log;
    rule->flags = flags;
    rule->groupId = groupId;
    rule->info = description ? description : L"";
    rule->params = params;
    if (!AppendRule(entry, rule)) {
        delete rule;
        return nullptr;
    }
    return rule;
}

RuleSet* CopyRuleSet(const RuleSet* set)
{
    if (!set)
        return nullptr;
    RuleSet* copy = new (std::nothrow) RuleSet();
    if (!copy)
        return nullptr;
    for (int32_t i = 0; i < set->count; ++i) {
        const ProgramEntry* from = set->entries[i];
        // Names are unique in a set, so each entry is appended, not joined.
        ProgramEntry* entry = NewProgramEntry(from->name);
        if (!entry || !AddProgramEntry(copy, entry) || copy->count != i + 1) {
            FreeRuleSet(copy);
            return nullptr;
        }
        entry->enabled = from->enabled;
        for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k) {
            for (const Rule* rule = from->rules[k]; rule; rule = rule->next) {
                PARAM_LIST* params = CopyParamList(rule->params);
                if (!params || !CopyRuleInto(entry, rule->action, rule->log, rule->flags, rule->groupId,
                                             rule->info.c_str(), params)) {
                    FreeRuleSet(copy);
                    return nullptr;
                }
            }
        }
    }
    return copy;
}

// ---- groups -------------------------------------------------------------------

RuleGroup* AddGroup(GroupList* list, int32_t id, const wchar_t* name, const wchar_t* info)
{
    if (!list)
        return nullptr;
    try {
        RuleGroup group;
        group.id = id == -1 ? NextGroupId(list) : id;
        group.name = name ? name : L"";
        group.info = info ? info : L"";
        list->groups.push_back(std::move(group));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return &list->groups.back();
}

int32_t NextGroupId(const GroupList* list)
{
    if (!list)
        return 0;
    // Ids 0..n are the only candidates; mark those in use.
    std::vector<bool> used(list->groups.size() + 1, false);
    for (const RuleGroup& g : list->groups) {
        if (g.id >= 0 && static_cast<size_t>(g.id) < used.size())
            used[static_cast<size_t>(g.id)] = true;
    }
    size_t id = 0;
    while (used[id])
        ++id;
    return static_cast<int32_t>(id);
}

bool FindGroupByName(const GroupList* list, const wchar_t* name)
{
    if (!list || !name)
        return false;
    for (const RuleGroup& g : list->groups) {
        if (g.name == name)
            return true;
    }
    return false;
}

RuleGroup* FindGroupById(GroupList* list, int32_t id)
{
    if (!list)
        return nullptr;
    for (RuleGroup& g : list->groups) {
        if (g.id == id)
            return &g;
    }
    return nullptr;
}

const RuleGroup* FindGroupById(const GroupList* list, int32_t id)
{
    return FindGroupById(const_cast<GroupList*>(list), id);
}

bool RemoveGroup(GroupList* list, const RuleGroup* group)
{
    if (!list || !group)
        return false;
    for (auto it = list->groups.begin(); it != list->groups.end(); ++it) {
        if (&*it == group) {
            list->groups.erase(it);
            return true;
        }
    }
    return false;
}

void ClearGroups(GroupList* list)
{
    if (list)
        list->groups.clear();
}
