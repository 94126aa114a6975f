// Rule file load and save, rule table image compilation and validation, and
// operation matching for rule sets of 10, 1,000 and 10,000 rules. Prints one
// row per size with the time per operation.
#include "driver/common/Matcher.h"
#include "rules/RuleFile.h"
#include "rules/RuleImage.h"

#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs `work` until at least `budget` seconds have passed; seconds per run.
template <class F>
double TimePerRun(F&& work, double budget = 0.3)
{
    int runs = 0;
    double start = Seconds(), elapsed = 0;
    do {
        work();
        ++runs;
        elapsed = Seconds() - start;
    } while (elapsed < budget);
    return elapsed / runs;
}

const wchar_t kLastExecutable[] = L"C:\\Bench\\last-rule.exe";

// A realistic mix: half file rules, a quarter registry rules, a quarter
// program starts; about half the patterns carry a `*`. The last rule in image
// order (the last Execute rule) is the only one that matches kLastExecutable.
RuleSet* MakeRuleSet(int count, GroupList* groups)
{
    RuleSet* set = NewRuleSet();
    ProgramEntry* all = set->entries[0];
    for (int g = 0; g < 10; ++g)
        AddGroup(groups, g, (L"分组 " + std::to_wstring(g)).c_str(), L"测试用的规则分组");
    int executeRules = 0;
    for (int i = 0; i < count; ++i)
        executeRules += (i % 4 == 3);
    int executeSeen = 0;
    for (int i = 0; i < count; ++i) {
        std::wstring n = std::to_wstring(i);
        std::wstring info = L"规则 " + n + L" <保护> & \"说明\"";
        PARAM_LIST* params;
        switch (i % 4) {
        case 0:
        case 1:
            params = i % 2 == 0
                ? BuildParamList(0, "w", (L"C:\\Users\\*\\AppData\\Roaming\\app" + n + L"\\*.dat").c_str())
                : BuildParamList(0, "w", (L"C:\\Windows\\System32\\drivers\\etc\\hosts" + n).c_str());
            break;
        case 2:
            params = BuildParamList(1, "ww",
                                    (L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" + n + L"\\*").c_str(),
                                    i % 8 == 2 ? L"*" : (L"Setting" + n).c_str());
            break;
        default:
            ++executeSeen;
            params = executeSeen == executeRules
                ? BuildParamList(2, "w", kLastExecutable)
                : BuildParamList(2, "w", (L"C:\\Program Files\\Vendor" + n + L"\\*.exe").c_str());
            break;
        }
        CopyRuleInto(all, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, i % 10, info.c_str(), params);
    }
    return set;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + L"bench_rules_" + std::to_wstring(GetCurrentProcessId()) + L".erd";

    printf("%7s %10s %10s %12s %12s %12s %12s %10s %10s\n", "rules", "load ms", "save ms",
           "compile us", "validate us", "match-last", "match-none", "file KiB", "image KiB");
    printf("%7s %10s %10s %12s %12s %12s %12s %10s %10s\n", "", "", "", "", "", "us", "us", "", "");
    for (int count : {10, 1000, 10000}) {
        GroupList groups;
        RuleSet* set = MakeRuleSet(count, &groups);

        double save = TimePerRun([&] { WriteRuleFile(&groups, set, path.c_str(), -1); });
        double load = TimePerRun([&] {
            GroupList readGroups;
            FreeRuleSet(ReadRuleFile(&readGroups, path.c_str()));
        });
        GroupList readGroups;
        RuleSet* loaded = ReadRuleFile(&readGroups, path.c_str());
        if (RuleCount(loaded) != static_cast<size_t>(count))
            printf("warning: read %u of %d rules\n", static_cast<unsigned>(RuleCount(loaded)), count);

        std::vector<uint8_t> image;
        double compile = TimePerRun([&] { image = BuildRuleImage(loaded); });
        const uint8_t* bytes = image.data();
        uint32_t size = static_cast<uint32_t>(image.size());
        int valid = MatchValidateImage(bytes, size);
        double validate = TimePerRun([&] { valid |= MatchValidateImage(bytes, size); });

        uint32_t id = 0;
        int hits = 0;
        double matchLast = TimePerRun([&] { hits += MatchOperation(bytes, size, 2, kLastExecutable, nullptr, &id); });
        bool lastOk = FindRuleById(loaded, id) && RuleKind(FindRuleById(loaded, id)) == 2 &&
                      FindRuleById(loaded, id)->next == nullptr;
        const wchar_t* none = L"C:\\Users\\bob\\AppData\\Roaming\\other\\settings.ini";
        int misses = 0;
        double matchNone = TimePerRun([&] { misses += MatchOperation(bytes, size, 0, none, nullptr, &id); });

        printf("%7d %10.3f %10.3f %12.1f %12.1f %12.2f %12.2f %10.1f %10.1f%s\n", count, load * 1e3,
               save * 1e3, compile * 1e6, validate * 1e6, matchLast * 1e6, matchNone * 1e6,
               FileSize(path) / 1024.0, size / 1024.0,
               (valid != 0 || !lastOk || misses != 0) ? "  (unexpected result!)" : "");
        FreeRuleSet(loaded);
        FreeRuleSet(set);
    }
    DeleteFileW(path.c_str());
    return 0;
}
