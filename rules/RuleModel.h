// The in-memory rule model: rules, program entries, the rule set and the
// rule groups.
//
// Ownership: a RuleSet owns its program entries, an entry owns its rules, a
// rule owns its description and its PARAM_LIST. A GroupList owns its groups.
// Nothing is reference-counted; plain pointers to rules stay valid only while
// the set that holds them is alive. Change rule lists only through the
// functions below: they keep the set's identity index and the list tails.
#pragma once

#include "rules/OperationKinds.h"
#include "rules/ParamList.h"

#include <stdint.h>
#include <list>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

// ---- rules -----------------------------------------------------------------

namespace RuleAction {
enum : uint16_t {
    Accept = 0, // allow the operation
    Feign = 1,  // report success without performing it
    Reject = 2, // refuse
};
}

namespace RuleLog {
enum : uint16_t {
    None = 0,
    Log = 1,   // logged and shown as a notification
    Alert = 2, // stored and written back only
};
}

namespace RuleFlag {
enum : uint16_t {
    Ask = 1,  // prompt the user instead of answering with the action
    Scan = 2, // stored and written back only
};
}

// A rule's identity: the 32-bit token that the rule table image carries and
// the driver hands back. Unique within a run and never reused; 0 is never an
// identity. Resolve it with FindRuleById on the set that holds the rule.
uint32_t NewRuleIdentity();

struct Rule {
    uint16_t action = RuleAction::Accept;
    uint16_t log = RuleLog::None;
    uint16_t flags = 0;
    int32_t groupId = -1;         // -1 while the rule has no group yet
    std::wstring info;            // description
    PARAM_LIST* params = nullptr; // owned; its kind is the rule's kind
    Rule* next = nullptr;         // next rule of the same list
    const uint32_t id;            // identity, assigned at construction

    Rule() : id(NewRuleIdentity()) {}
    ~Rule() { FreeParamList(params); }
    Rule(const Rule&) = delete;
    Rule& operator=(const Rule&) = delete;
};

// Kind of a rule (its PARAM_LIST's kind), or OPERATION_KIND_COUNT when it has
// no list.
uint32_t RuleKind(const Rule* rule);

// ---- program entries and the rule set ---------------------------------------

#define PROGRAM_NAME_CHARS 260 // 259 characters and the NUL
#define RULE_SET_CAPACITY 128

struct RuleSet;

struct ProgramEntry {
    wchar_t name[PROGRAM_NAME_CHARS] = {}; // program name pattern; "*" is every program
    Rule* rules[OPERATION_KIND_COUNT] = {}; // list heads, indexed by kind
    int32_t enabled = 1;                    // the rule file's "Hook" flag

    // Bookkeeping of the list functions.
    Rule* tails[OPERATION_KIND_COUNT] = {};
    RuleSet* owner = nullptr; // the set this entry belongs to, once added
};

struct RuleSet {
    int32_t count = 0;
    int32_t capacity = RULE_SET_CAPACITY;
    ProgramEntry* entries[RULE_SET_CAPACITY] = {};

    // Identity -> rule, for every rule in the set's entries.
    std::unordered_map<uint32_t, Rule*> byId;
};

// A new entry with the name cut to 259 characters (null is the empty name),
// enabled 1 and empty lists; null when memory runs out.
ProgramEntry* NewProgramEntry(const wchar_t* name);
// Releases an entry that no set holds, with all its rules.
void FreeProgramEntry(ProgramEntry* entry);
// Copies the name into the entry, cut to 259 characters.
void SetProgramEntryName(ProgramEntry* entry, const wchar_t* name);

// A new set holding one entry "*" (enabled, no rules); null when memory runs out.
RuleSet* NewRuleSet();

// Takes ownership of the entry. When an entry of the same name (without regard
// to case; searched from the last to the first) exists, the new entry's rules
// are joined to the end of its lists and the new entry is released; true.
// Otherwise the entry is appended while there are fewer than 128; true.
// Otherwise the entry is released; false.
bool AddProgramEntry(RuleSet* set, ProgramEntry* entry);

// Releases every entry (last to first) with its rules, then the set. Null is
// ignored.
void FreeRuleSet(RuleSet* set);

// A copy of the set that shares nothing with it: the same entries (names,
// "Hook" flags) with the same rules in the same order, each a new rule of a
// new identity. Null for a null set or when memory runs out.
RuleSet* CopyRuleSet(const RuleSet* set);

// The rule of that identity among the set's rules; null for 0, for a null set,
// and for a rule that is no longer in the set (removed or freed).
Rule* FindRuleById(const RuleSet* set, uint32_t id);

// Number of rules in every entry of the set.
size_t RuleCount(const RuleSet* set);

// ---- rule lists of one entry --------------------------------------------------

// Appends the rule, with next set to null, at the tail of the list of its
// kind; the entry takes ownership. False (nothing changed, caller keeps the
// rule) when the rule has no PARAM_LIST or its kind is outside 0 to 2.
bool AppendRule(ProgramEntry* entry, Rule* rule);

// Moves a rule of the entry to just before `before` in the list of its kind
// (to the head when `before` is null). False, nothing changed, when either
// rule is not in that list.
bool MoveRuleBefore(ProgramEntry* entry, Rule* rule, const Rule* before);

// Unlinks the rule from the list of its kind and releases it with its
// description and PARAM_LIST. False when the rule is not in that list.
bool RemoveRule(ProgramEntry* entry, Rule* rule);

// Removes every rule of `rules` that is in the entry's lists, in one pass
// over each list (many rules at once cost one walk, not one per rule), and
// releases them. Rules not in the entry are left alone. The count removed.
size_t RemoveRules(ProgramEntry* entry, const std::vector<Rule*>& rules);

// Unlinks the rule from the list of `kind` and releases it with its
// description but not its PARAM_LIST, which the caller has handed to a
// replacement rule. False when the rule is not in that list.
bool RemoveRuleFromKind(ProgramEntry* entry, uint32_t kind, Rule* rule);

typedef void (*RuleCallback)(void* context, Rule* rule);

// Calls the callback for each rule, list by list in kind order 0, 1, 2 (only
// list `kind` when kind is not -1), in list order; with groupId -1 for every
// rule, otherwise for the rules of that group. The callback may remove the
// rule it is given.
void ForEachRule(const ProgramEntry* entry, RuleCallback callback, void* context,
                 int32_t groupId, int32_t kind);

// Same, with any callable taking a Rule*.
template <class F>
void ForEachRule(const ProgramEntry* entry, F&& visit, int32_t groupId, int32_t kind)
{
    using V = std::remove_reference_t<F>;
    ForEachRule(
        entry, [](void* context, Rule* rule) { (*static_cast<V*>(context))(rule); },
        const_cast<void*>(static_cast<const void*>(&visit)), groupId, kind);
}

// A new rule with these values (the description copied, the PARAM_LIST taken
// over) appended with AppendRule. Returns the rule, or null when it could not
// be appended (the PARAM_LIST is then released).
Rule* CopyRuleInto(ProgramEntry* entry, uint16_t action, uint16_t log, uint16_t flags,
                   int32_t groupId, const wchar_t* description, PARAM_LIST* params);

// ---- groups -------------------------------------------------------------------

struct RuleGroup {
    int32_t id = 0;     // unique among the groups of one list
    std::wstring name;  // unique, compared with case counting
    std::wstring info;  // description
};

// Groups in order of addition. std::list keeps each group at a fixed address,
// so windows may hold pointers to groups while others are added or removed.
struct GroupList {
    std::list<RuleGroup> groups;
};

// Appends a group; id -1 takes NextGroupId. Returns the new group (null when
// memory runs out).
RuleGroup* AddGroup(GroupList* list, int32_t id, const wchar_t* name, const wchar_t* info);

// The smallest id, counting from 0, that no group of the list holds.
int32_t NextGroupId(const GroupList* list);

// True when a group of exactly that name exists (letter case counts).
bool FindGroupByName(const GroupList* list, const wchar_t* name);

// The first group of that id, or null.
RuleGroup* FindGroupById(GroupList* list, int32_t id);
const RuleGroup* FindGroupById(const GroupList* list, int32_t id);

// Removes and releases one group of the list; false when it is not there.
bool RemoveGroup(GroupList* list, const RuleGroup* group);

// Releases every group and empties the list.
void ClearGroups(GroupList* list);
