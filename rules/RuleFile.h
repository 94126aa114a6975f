// The rule file: the XML form of a RuleSet and its GroupList ("Harrowmere.erd"
// and exported group files). Attribute values are in the system ANSI code
// page when every text fits it; otherwise the file is UTF-8 and its XML
// declaration says so. Lines end in CR LF.
#pragma once

#include "rules/RuleModel.h"

#include <stdio.h>

#include <functional>
#include <string>

// The rule file of the program folder.
#define HM_RULE_FILE L"Harrowmere.erd"

// Reads the file into a new RuleSet and appends the file's groups to `groups`,
// skipping a group identical (id, name, description) to one already there:
// the whole group list is repeated in every "Program" element. Texts are
// UTF-8 when the file's XML declaration names UTF-8, ANSI otherwise.
// A missing, unreadable or foreign file gives a set with only the empty "*"
// entry. An error inside the document drops the "Program" element in which it
// occurs and ends the reading; entries and groups read before stay. Null only
// when the set cannot be created.
RuleSet* ReadRuleFile(GroupList* groups, const wchar_t* path);

#define RULE_FILE_ALL_GROUPS (-1)

// Writes the set and the groups; with groupFilter -1 every rule and group,
// otherwise only the rules of that group id and that one group. The file is
// written beside the target under a temporary name and replaces the target
// only once complete, so a failed write leaves the old file as it was.
// Returns 0 on success; -1 for a null set or path; -2 when the temporary file
// cannot be created; -3 when writing it fails; -4 when it cannot replace the
// target (also a read-only target, which is left as it is).
int WriteRuleFile(const GroupList* groups, const RuleSet* set, const wchar_t* path,
                  int32_t groupFilter);

// Writes a file safely: `write` fills a temporary file beside `path` (the
// path with ".tmp" appended, opened with the _wfopen `mode`), which is
// flushed to the disk and only then replaces `path`; on any failure the
// temporary file goes and `path` stays as it was. The codes of
// WriteRuleFile: 0; -1 for an empty path; -2 when the temporary file cannot
// be created; -3 when `write` or the flush fails; -4 when it cannot replace
// `path` (also a read-only `path`, which is left as it is).
int WriteFileReplacing(const wchar_t* path, const wchar_t* mode, const std::function<bool(FILE*)>& write);

// Size and last write time of a file (a FILETIME value); zeros when it is
// missing. Equal stamps taken at two moments mean the file was not rewritten
// in between, so rules read from it then are still what it holds.
struct FILE_STAMP {
    uint64_t size = 0;
    uint64_t lastWrite = 0;
    bool Missing() const { return size == 0 && lastWrite == 0; }
    bool operator==(const FILE_STAMP& other) const { return size == other.size && lastWrite == other.lastWrite; }
    bool operator!=(const FILE_STAMP& other) const { return !(*this == other); }
};
FILE_STAMP FileStampOf(const std::wstring& path);

// A copy of rules that were read from `path` when its stamp was `readStamp`
// (see CopyRuleSet), with a copy of their groups appended to `copyGroups`,
// as long as the file still has that stamp; null when it was rewritten or
// is missing since, or when memory runs out (then the file must be read).
RuleSet* CopyRulesIfCurrent(const RuleSet* set, const GroupList& groups, const FILE_STAMP& readStamp,
                            const std::wstring& path, GroupList* copyGroups);
