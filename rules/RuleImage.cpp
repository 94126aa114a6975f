#include "rules/RuleImage.h"

#include "driver/common/Matcher.h"
#include "driver/common/WatchProtocol.h"

#include <string.h>

#include <new>

namespace {

// Payload of an entry in the image: its value without the 8-byte header.
uint32_t PayloadSize(const PARAM_ENTRY* entry)
{
    return entry ? entry->size - sizeof(PARAM_ENTRY) : 0;
}

uint32_t ParamCount(const Rule* rule)
{
    uint32_t count = rule->params->count;
    return count < RULE_IMAGE_MAX_PARAMS ? count : RULE_IMAGE_MAX_PARAMS;
}

uint32_t RecordSize(const Rule* rule)
{
    uint32_t size = RULE_IMAGE_RECORD_MIN_SIZE;
    for (uint32_t i = 0; i < ParamCount(rule); ++i)
        size += PayloadSize(ParamEntryAt(rule->params, i));
    return size;
}

// Writes one record at `at` (zero-filled already); returns its size.
uint32_t WriteRecord(const Rule* rule, uint32_t kind, uint8_t* at)
{
    RULE_IMAGE_RECORD record = {};
    record.ruleId = rule->id;
    record.kind = static_cast<uint16_t>(kind);
    record.paramCount = ParamCount(rule);
    uint8_t* payload = at + sizeof(RULE_IMAGE_RECORD);
    uint32_t used = 0;
    for (uint32_t i = 0; i < record.paramCount; ++i) {
        const PARAM_ENTRY* entry = ParamEntryAt(rule->params, i);
        uint32_t n = PayloadSize(entry);
        record.payloadOffset[i] = used;
        if (n)
            memcpy(payload + used, entry + 1, n);
        used += n;
    }
    record.size = RULE_IMAGE_RECORD_MIN_SIZE + used;
    memcpy(at, &record, sizeof(record));
    return record.size;
}

template <class F>
void ForEachImageRule(const RuleSet* set, F&& visit)
{
    for (int32_t i = 0; set && i < set->count; ++i) {
        for (uint32_t k = 0; k < OPERATION_KIND_COUNT; ++k) {
            visit(i, k, nullptr); // start of a run
            for (const Rule* r = set->entries[i]->rules[k]; r; r = r->next) {
                if (r->params)
                    visit(i, k, r);
            }
        }
    }
}

} // namespace

std::vector<uint8_t> BuildRuleImage(const RuleSet* set)
{
    size_t total = RULE_IMAGE_HEADER_SIZE;
    ForEachImageRule(set, [&total](int32_t, uint32_t, const Rule* rule) {
        if (rule)
            total += RecordSize(rule);
    });

    std::vector<uint8_t> image;
    try {
        image.assign(total, 0);
    } catch (const std::bad_alloc&) {
        return image;
    }
    RULE_IMAGE_HEADER header = {{RULE_IMAGE_HEADER_SIZE, RULE_IMAGE_HEADER_SIZE,
                                 RULE_IMAGE_HEADER_SIZE}};
    uint32_t position = RULE_IMAGE_HEADER_SIZE;
    ForEachImageRule(set, [&](int32_t, uint32_t kind, const Rule* rule) {
        if (!rule)
            header.kindOffset[kind] = position;
        else
            position += WriteRecord(rule, kind, image.data() + position);
    });
    memcpy(image.data(), &header, sizeof(header));
    return image;
}
