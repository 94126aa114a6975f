// The rule file: the XML form of a RuleSet and its GroupList ("Harrowmere.erd"
// and exported group files). Attribute values are in the system ANSI code
// page when every text fits it; otherwise the file is UTF-8 and its XML
// declaration says so. Lines end in CR LF.
#pragma once

#include "rules/RuleModel.h"

#include <stdio.h>

#include <functional>

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
