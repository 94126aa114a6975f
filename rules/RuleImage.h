// The rule table image: the flat copy of a rule set that the driver matches
// operations against (layout in driver/common/Matcher.h). Each record carries
// its rule's identity token, which FindRuleById resolves in the same set.
#pragma once

#include "rules/RuleModel.h"

#include <windows.h>

#include <vector>

// Compiles the set in two passes (sizes, then records): for every program
// entry in order, kinds 0, 1, 2, every rule in list order. The header holds
// the runs of the last entry. A null set or a set without rules gives the
// 12-byte header alone (all offsets 12), which matches nothing. Empty only
// when memory runs out.
std::vector<uint8_t> BuildRuleImage(const RuleSet* set);
