// Writes the rule file of the real-workload benchmark (scripts/bench-workloads.sh):
// the rule mix of the rule benchmarks, `count` rules (default 1,000), none
// of which the workloads touch.
//   bench_workload_rules.exe <rule file> [count]
#include "rules/RuleFile.h"
#include "RuleMix.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_workload_rules.exe <rule file> [count]\n");
        return 2;
    }
    int count = argc > 2 ? atoi(argv[2]) : 1000;
    std::wstring path(MAX_PATH, L'\0');
    path.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, argv[1], -1, &path[0], MAX_PATH)));
    GroupList groups;
    RuleSet* set = benchmix::MakeRuleSet(count, &groups);
    int written = WriteRuleFile(&groups, set, path.c_str(), -1);
    printf("%d rules of the mix written (%d)\n", static_cast<int>(RuleCount(set)), written);
    FreeRuleSet(set);
    return 0;
}
