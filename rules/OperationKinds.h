// The three operation kinds: the number that indexes rules, parameter lists,
// the rule table image and the shared record, with each kind's rule-file
// keyword, display name and parameter labels.
#pragma once

#include <stdint.h>

namespace OperationKind {
enum : uint32_t {
    OpenFile = 0,
    SetRegistryValue = 1, // keyword "RegSetValue" (a Win32 macro name, hence not used here)
    Execute = 2,
};
}
#define OPERATION_KIND_COUNT 3u

struct OperationKindInfo {
    const wchar_t* keyword;     // rule file word, compared without case
    const wchar_t* displayName; // shown in the editor, prompt and log
    uint32_t paramMask;         // bit 0: first parameter, bit 1: second
    const wchar_t* label1;      // label of parameter 1
    const wchar_t* label2;      // label of parameter 2, null when none
};

// The table, indexed by the kind.
extern const OperationKindInfo g_operationKinds[OPERATION_KIND_COUNT];

// The keyword, or "[Invalid reason]" for a kind outside 0 to 2.
const wchar_t* OperationKeyword(uint32_t kind);
// The display name, or "[无效]" for a kind outside 0 to 2.
const wchar_t* OperationDisplayName(uint32_t kind);
// 2 for "Execute", 1 for "RegSetValue" (without regard to case), 0 otherwise.
uint32_t OperationFromKeyword(const wchar_t* text);
