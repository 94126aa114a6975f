// Rule file load and save, rule table image compilation, validation and
// indexing, and operation matching for rule sets of 10, 1,000 and 10,000
// rules. Prints one row per size with the time per operation.
#include "bench/BenchTiming.h"
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"
#include "rules/RuleFile.h"
#include "rules/RuleImage.h"
#include "RuleMix.h"

#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

using benchmix::kLastExecutable;
using benchmix::MakeRuleSet;

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

    // Matching goes through the index, as in the driver; the walk over every
    // record is shown beside it.
    const char* header = "%6s %8s %8s %8s %8s %8s %11s %11s %10s %10s %8s %8s %8s\n";
    printf(header, "rules", "load", "save", "compile", "validate", "index", "match-last", "match-none",
           "walk-last", "walk-none", "file", "image", "index");
    printf(header, "", "ms", "ms", "us", "us", "us", "us", "us", "us", "us", "KiB", "KiB", "KiB");
    double first[4] = {0, 0, 0, 0}, last[4] = {0, 0, 0, 0}; // match-last, match-none, walk-last, walk-none
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

        std::vector<uint32_t> index(MatchIndexSize(bytes, size) / 4);
        uint32_t indexSize = static_cast<uint32_t>(index.size() * 4);
        double build = TimePerRun([&] { valid |= MatchBuildIndex(bytes, size, index.data(), indexSize); });

        uint32_t id = 0;
        int hits = 0;
        double matchLast = TimePerRun(
            [&] { hits += MatchOperationIndexed(bytes, size, index.data(), 2, kLastExecutable, nullptr, &id); });
        uint32_t lastId = id;
        bool lastOk = FindRuleById(loaded, id) && RuleKind(FindRuleById(loaded, id)) == 2 &&
                      FindRuleById(loaded, id)->next == nullptr;
        const wchar_t* none = L"C:\\Users\\bob\\AppData\\Roaming\\other\\settings.ini";
        int misses = 0;
        double matchNone = TimePerRun(
            [&] { misses += MatchOperationIndexed(bytes, size, index.data(), 0, none, nullptr, &id); });
        uint32_t walkId = 0;
        double walkLast = TimePerRun([&] { MatchOperation(bytes, size, 2, kLastExecutable, nullptr, &walkId); });
        double walkNone = TimePerRun([&] { misses += MatchOperation(bytes, size, 0, none, nullptr, &id); });

        printf("%6d %8.2f %8.2f %8.1f %8.1f %8.1f %11.2f %11.2f %10.2f %10.2f %8.1f %8.1f %8.1f%s\n", count,
               load * 1e3, save * 1e3, compile * 1e6, validate * 1e6, build * 1e6, matchLast * 1e6,
               matchNone * 1e6, walkLast * 1e6, walkNone * 1e6, FileSize(path) / 1024.0, size / 1024.0,
               indexSize / 1024.0,
               (valid != 0 || !lastOk || walkId != lastId || misses != 0) ? "  (unexpected result!)" : "");
        double row[4] = {matchLast, matchNone, walkLast, walkNone};
        for (int i = 0; i < 4; ++i)
            (count == 10 ? first : last)[i] = row[i];
        FreeRuleSet(loaded);
        FreeRuleSet(set);
    }
    DeleteFileW(path.c_str());
    printf("10,000 rules against 10: match-last %.1fx, match-none %.1fx (goal: at most 2x); the walk %.0fx, %.0fx\n",
           last[0] / first[0], last[1] / first[1], last[2] / first[2], last[3] / first[3]);
    return 0;
}
