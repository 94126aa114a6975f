// The rule that a prompt answered with "总是" makes: written into the rule
// file as the user would make it in the editor, in its own group, ahead of
// the asking rule that opened the prompt.
#pragma once

#include "rules/RuleEditing.h"

#include <stdint.h>
#include <string>

// What the new rule holds.
struct PROMPT_RULE {
    uint32_t kind = 0;
    std::wstring param1; // the request's texts, taken as Wildcards patterns
    std::wstring param2; // RegSetValue only
    uint16_t action = 0; // RuleAction::Accept for allow, Reject for refuse
    uint16_t log = 0;    // the asking rule's log mode
    std::wstring info;   // the asking rule's description
};

// Results of AddPromptRule.
enum class PromptRuleResult {
    Written,      // the file holds the new rule
    NoParameters, // a kind outside 0 to 2, or no memory: nothing written
    WriteFailed,  // the file could not be replaced: it is as it was
};

// Reads the rule file, adds the rule to the group named `groupName` (created
// when missing) and writes the whole file back the way the editor saves it
// (beside the target, then replacing it). The rule goes just before the
// first rule of the file with the content of `asking` (in that rule's
// program entry; one of the asking rule's own group first), so the driver
// meets it first; without such a rule, first in its kind in the file's first
// entry.
PromptRuleResult AddPromptRule(const std::wstring& ruleFile, const RULE_CONTENT& asking, const PROMPT_RULE& rule,
                               const std::wstring& groupName);
