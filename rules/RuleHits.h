// What each rule has done: how many decisions it has made and when it last
// made one, kept by the rule's content (kind, parameters, action) so that
// every copy of the model (the driver link's, the editor's) finds the same
// counts, they survive a restart, and a rule whose content changes starts
// again at 0. Rules of the same content share their counts.
//
// The hit file "Harrowmere.hits" beside the rule file holds them as text:
//
//   HarrowmereHits 1
//   <key: 16 hex digits> <count: decimal> <last decision: FILETIME, UTC, 16 hex digits>
//   ...
//   End <number of key lines>
//
// in any order, one line per content that has decided at least once, lines
// ending in CR LF (LF alone is read too). A file that is not exactly of this
// form (truncated, foreign, a key twice) gives no counts at all; nothing else
// depends on it, and the next save replaces it. Counts of contents no longer
// in the rule set stay in the file, so a rule changed back takes up its old
// count again.
#pragma once

#include "rules/RuleModel.h"

#include <stdint.h>

#include <mutex>
#include <string>
#include <unordered_map>

// The hit file beside the rule file.
#define HM_HIT_FILE L"Harrowmere.hits"

// The hit file of the folder that holds `ruleFile` (a path with a backslash;
// without one, the bare name).
std::wstring RuleHitFilePath(const std::wstring& ruleFile);

// A key of the rule's content that is the same in every copy of the model
// and in every run: 64-bit FNV-1a over the kind, the action and each
// parameter's type and value. A null rule has key 0.
uint64_t RuleContentKey(const Rule* rule);

struct RULE_HITS {
    uint64_t count = 0;
    uint64_t lastHit = 0; // FILETIME of the last decision, UTC; 0 never
};

using RuleHitMap = std::unordered_map<uint64_t, RULE_HITS>;

// The hit file's text for these counts (entries with count 0 are left out),
// keys in ascending order.
std::string FormatRuleHits(const RuleHitMap& hits);
// Parses a hit file's text; false (and `hits` emptied) when it is not
// exactly of the hit file's form.
bool ParseRuleHits(const std::string& text, RuleHitMap* hits);
// The counts of a hit file; empty when it is missing, unreadable, larger
// than 64 MB or bad. Read with every sharing allowed, so that the guard can
// replace the file while a window reads it.
RuleHitMap ReadRuleHitFile(const std::wstring& path);
// A last-decision time as local time "YYYY-MM-DD hh:mm:ss"; empty for 0
// (never) or a time that cannot be converted.
std::wstring FormatHitTime(uint64_t fileTime);
// Writes the counts with WriteFileReplacing (its codes).
int WriteRuleHitFile(const std::wstring& path, const RuleHitMap& hits);

// The driver link's counts, fed by the request thread. Any thread; each
// call holds the store's lock for its whole work.
class CRuleHitStore {
public:
    // Binds the store to a hit file and reads it; nothing when already bound
    // to that path (a rule reload keeps the counts in memory).
    void Open(const std::wstring& path);
    // Counts one decision of the rule at `now` (a FILETIME value).
    void Record(const Rule* rule, uint64_t now);
    // Same, at the present system time.
    void Record(const Rule* rule);
    // Writes the hit file when a decision was counted since the last write;
    // true when nothing is left unwritten.
    bool Save();
    // The counts of a content key; zero when it never decided.
    RULE_HITS Get(uint64_t key) const;

private:
    mutable std::mutex m_lock;
    std::wstring m_path;
    RuleHitMap m_hits;
    bool m_unsaved = false;
};
