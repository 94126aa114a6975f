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

// Sends an image with IOCTL_WATCH_SET_RULES; the driver copies it during the
// call. 0 when sent; -1 when the device is not open or the image is empty;
// -2 when the driver refused it.
int SendRuleImage(HANDLE device, const std::vector<uint8_t>& image);

// BuildRuleImage and SendRuleImage; nothing is built while the device is not
// open. The caller holds whatever lock guards the set. An empty set is sent as
// the header alone so that the driver drops the rules of the previous image.
// Result as SendRuleImage.
int UploadRuleTable(HANDLE device, const RuleSet* set);
