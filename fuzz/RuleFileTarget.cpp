// Fuzz target: the rule file reader on any bytes, with two properties the
// program relies on: the image compiled from whatever was read is one the
// driver accepts (a refused image leaves the machine unguarded), and writing
// the rules out and reading them back compiles to the same image, identities
// aside. (The group list is not compared: the format repeats every group in
// every "Program" element, so a file of several entries reads back with each
// group several times.)
#include "driver/common/Matcher.h"
#include "fuzz/FuzzInput.h"
#include "rules/RuleFile.h"
#include "rules/RuleImage.h"

#include <string.h>

namespace {

// The image with every record's identity cleared.
std::vector<uint8_t> WithoutIdentities(std::vector<uint8_t> image)
{
    for (size_t pos = RULE_IMAGE_HEADER_SIZE; pos + RULE_IMAGE_RECORD_MIN_SIZE <= image.size();) {
        uint32_t size;
        memcpy(&size, &image[pos + 8], 4);
        memset(&image[pos], 0, 4);
        FUZZ_CHECK(size >= RULE_IMAGE_RECORD_MIN_SIZE);
        pos += size;
    }
    return image;
}

void RenderRules(const RuleSet* set)
{
    for (int32_t i = 0; i < set->count; ++i) {
        ForEachRule(
            set->entries[i],
            [](Rule* rule) {
                wchar_t text[300];
                FUZZ_CHECK(FormatParamList(rule->params, text, 300) > 0);
            },
            -1, -1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring input = fuzz::ScratchFile("in.erd", data, size);
    GroupList groups;
    RuleSet* set = ReadRuleFile(&groups, input.c_str());
    FUZZ_CHECK(set);
    std::vector<uint8_t> image = BuildRuleImage(set);
    FUZZ_CHECK(!image.empty());
    FUZZ_CHECK(MatchValidateImage(image.data(), uint32_t(image.size())) == 0);
    RenderRules(set);

    std::wstring output = fuzz::ScratchPath("out.erd");
    FUZZ_CHECK(WriteRuleFile(&groups, set, output.c_str(), RULE_FILE_ALL_GROUPS) == 0);
    GroupList groupsAgain;
    RuleSet* again = ReadRuleFile(&groupsAgain, output.c_str());
    FUZZ_CHECK(again);
    FUZZ_CHECK(RuleCount(again) == RuleCount(set));
    FUZZ_CHECK(WithoutIdentities(BuildRuleImage(again)) == WithoutIdentities(image));

    FreeRuleSet(again);
    FreeRuleSet(set);
    ClearGroups(&groupsAgain);
    ClearGroups(&groups);
    return 0;
}
