// What the rule editor and its dialogs do to the editor's copy of the rule
// model, without windows: deleting a group with its rules, importing an
// exported group, building a rule from the rule dialog's fields, and telling
// which of the editor's rules carries the content of a rule of another copy.
#pragma once

#include "rules/RuleModel.h"

#include <memory>
#include <string>
#include <vector>

// The rules that ForEachRule visits for that group (-1 every group) and kind
// (-1 every kind), in its order.
std::vector<Rule*> CollectRules(const ProgramEntry* entry, int32_t groupId, int32_t kind);

// Removes every rule of the group from the entry, then the group from the
// list. Returns the number of rules removed; -1 when the group is not in the
// list (nothing changed).
int DeleteGroupWithRules(ProgramEntry* entry, GroupList* groups, const RuleGroup* group);

// Imports an exported group file into the editor's first entry: the file's
// first group becomes a new group (new id, same name and description) and
// every rule of every program entry of the file is copied into `target`
// with that group's id. Results:
//   0  imported; *imported is the new group;
//  -1  the file holds no group (also a file that cannot be read); nothing changed;
//  -2  a group of exactly that name exists; nothing changed; *name is that name.
int ImportRuleGroup(const wchar_t* path, ProgramEntry* target, GroupList* groups, RuleGroup** imported,
                    std::wstring* name);

// The fields of the rule dialog when it closes with OK.
struct RULE_EDIT {
    uint32_t kind;       // OperationKind
    std::wstring info;   // description
    std::wstring param1; // path pattern, or registry key path pattern
    std::wstring param2; // registry value name pattern ("*" when empty)
    bool ask;            // the Ask flag; Scan is always dropped
    int log;             // RuleLog::None or Log; -1 leaves the rule's log mode
    int action;          // RuleAction::Accept or Reject; -1 leaves the rule's action
};

// The rule dialog's parameter list: Wildcards patterns, one for OpenFile and
// Execute, two for RegSetValue (an empty second one becomes "*"); entries of
// 8 + 2 x (characters + 1) bytes and a size field of 23 plus the entries.
// Null for a kind outside 0 to 2 or when memory runs out.
// A parameter's text in full, as the rule dialog shows it for editing (a
// pattern cut for the edit would be saved cut); "*" for Any and the number
// for an Integer.
std::wstring ParamFullText(const PARAM_LIST* params, uint32_t index);

PARAM_LIST* BuildDialogParams(uint32_t kind, const std::wstring& param1, const std::wstring& param2);

// Applies the dialog's fields. For a new rule (`rule` null) a rule is
// appended to `entry` (group 0). An existing rule of `entry` keeps its place
// when its kind stays; when the kind changed, a new rule with the same
// action, log mode, flags, group and description takes the new parameters at
// the end of its new kind's list and the old rule is released. Returns the
// rule that now holds the fields, or null when nothing could be applied (the
// model is then unchanged).
Rule* ApplyRuleEdit(ProgramEntry* entry, Rule* rule, const RULE_EDIT& edit);

// The content of a rule copied out of another copy of the model (the driver
// link's), to find the same rule in the editor's copy: identities differ
// between copies, contents do not.
struct RULE_CONTENT {
    uint16_t action = 0;
    uint16_t log = 0;
    uint16_t flags = 0;
    int32_t groupId = -1;
    std::wstring info;
    std::shared_ptr<PARAM_LIST> params; // a copy
};
RULE_CONTENT CopyRuleContent(const Rule* rule);
// Same action, log mode, flags, description, kind and parameters (the group
// does not count).
bool RuleHasContent(const Rule* rule, const RULE_CONTENT& content);

// A text folded to lower case, for finding without regard to case.
std::wstring FoldCase(const std::wstring& text);
// True when the rule's description or one of its parameters contains
// `folded` (a FoldCase text) without regard to case; an empty text is in
// every rule.
bool RuleContainsText(const Rule* rule, const std::wstring& folded);
