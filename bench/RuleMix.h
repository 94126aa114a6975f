// The varied rule mix of the rule benchmarks: half file rules, a quarter
// registry rules, a quarter program starts, in ten groups.
#pragma once

#include "rules/RuleFile.h"
#include "rules/RuleModel.h"

#include <string>

namespace benchmix {

constexpr wchar_t kLastExecutable[] = L"C:\\Bench\\last-rule.exe";

// A realistic mix: half file rules, a quarter registry rules, a quarter
// program starts. Literals sit at the start, in the middle (between two
// stars) and at the end of patterns; some patterns begin with a star or a
// `?`, some registry rules share their key and differ only in the value, and
// one rule in a thousand has no literal of three characters at all. The last
// rule in image order (the last Execute rule) is the only one that matches
// kLastExecutable.
inline PARAM_LIST* MakeParams(int i, bool lastExecute)
{
    std::wstring n = std::to_wstring(i);
    if (i % 1000 == 5)
        return BuildParamList(0, "w", L"\\\\*\\*\\*.*"); // any file on a network share
    switch (i % 4) {
    case 0:
    case 1:
        switch (i / 4 % 5) {
        case 0: return BuildParamList(0, "w", (L"C:\\Users\\*\\AppData\\Roaming\\app" + n + L"\\*.dat").c_str());
        case 1: return BuildParamList(0, "w", (L"C:\\Windows\\System32\\drivers\\etc\\hosts" + n).c_str());
        case 2: return BuildParamList(0, "w", (L"*\\Documents\\*\\report" + n + L"?.doc?").c_str());
        case 3: return BuildParamList(0, "w", (L"*\\Temp\\~$" + n + L"*.tmp").c_str());
        default: return BuildParamList(0, "w", (L"?:\\Data\\Project" + n + L"\\*").c_str());
        }
    case 2:
        switch (i / 4 % 3) {
        case 0:
            return BuildParamList(1, "ww", (L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" + n + L"\\*").c_str(),
                                  i % 8 == 2 ? L"*" : (L"Setting" + n).c_str());
        case 1:
            return BuildParamList(1, "ww", L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                  (L"Helper" + n).c_str());
        default:
            return BuildParamList(1, "ww", (L"*\\Services\\svc" + n + L"\\*").c_str(), L"ImagePath");
        }
    default:
        if (lastExecute)
            return BuildParamList(2, "w", kLastExecutable);
        switch (i / 4 % 3) {
        case 0: return BuildParamList(2, "w", (L"C:\\Program Files\\Vendor" + n + L"\\*.exe").c_str());
        case 1: return BuildParamList(2, "w", (L"*\\Downloads\\*setup" + n + L"*.exe").c_str());
        default: return BuildParamList(2, "w", (L"?:\\Tools\\tool" + n + L".exe").c_str());
        }
    }
}

inline RuleSet* MakeRuleSet(int count, GroupList* groups)
{
    RuleSet* set = NewRuleSet();
    ProgramEntry* all = set->entries[0];
    for (int g = 0; g < 10; ++g)
        AddGroup(groups, g, (L"分组 " + std::to_wstring(g)).c_str(), L"测试用的规则分组");
    int lastExecute = count - 1;
    while (lastExecute >= 0 && (lastExecute % 4 != 3 || lastExecute % 1000 == 5))
        --lastExecute;
    for (int i = 0; i < count; ++i) {
        std::wstring info = L"规则 " + std::to_wstring(i) + L" <保护> & \"说明\"";
        CopyRuleInto(all, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, i % 10, info.c_str(),
                     MakeParams(i, i == lastExecute));
    }
    return set;
}

} // namespace benchmix
