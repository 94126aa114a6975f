#include "rules/RuleFile.h"

#include "base/TextConv.h"
#include "base/XmlFile.h"

#include <windows.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <tinyxml.h>

namespace {

const char kRootName[] = "HarrowmereRule";

const char* const kActionNames[] = {"Accept", "Feign", "Reject"};
const char* const kLogNames[] = {"None", "Log", "Alert"};
const char* const kParamTypeNames[] = {"Any", "Integer", "String", "Wildcards", "Path"};

bool SameNoCase(const char* a, const char* b)
{
    return _stricmp(a, b) == 0;
}

// Index of `value` in names (without regard to case), or -1.
template <size_t N>
int IndexOf(const char* const (&names)[N], const char* value)
{
    for (size_t i = 0; i < N; ++i) {
        if (SameNoCase(names[i], value))
            return static_cast<int>(i);
    }
    return -1;
}

// A PARAM_LIST assembled while a "Rule" element is read. Starts with room for
// 2048 bytes and grows for longer patterns instead of cutting them.
class ParamScratch {
public:
    ParamScratch() : m_bytes(2048) {}

    void Start(uint32_t kind)
    {
        PARAM_LIST header = {};
        header.size = PARAM_LIST_EMPTY_SIZE;
        header.kind = kind;
        memcpy(m_bytes.data(), &header, sizeof(header));
        m_end = sizeof(PARAM_LIST);
        ClearSlack();
    }

    uint32_t Count() const { return List()->count; }

    // Appends an entry of this type and value bytes.
    void Add(uint32_t type, const void* value, uint32_t valueSize)
    {
        uint32_t entrySize = sizeof(PARAM_ENTRY) + valueSize;
        size_t needed = size_t(m_end) + entrySize + 4;
        if (needed > m_bytes.size())
            m_bytes.resize(needed * 2);
        PARAM_LIST* list = List();
        list->offset[list->count] = m_end - sizeof(PARAM_LIST);
        PARAM_ENTRY entry = {entrySize, type};
        memcpy(m_bytes.data() + m_end, &entry, sizeof(entry));
        if (valueSize)
            memcpy(m_bytes.data() + m_end + sizeof(entry), value, valueSize);
        m_end += entrySize;
        list->count += 1;
        list->size += entrySize;
        ClearSlack();
    }

    // A copy exactly as long as the size field.
    PARAM_LIST* Copy() const { return CopyParamList(List()); }

private:
    // The bytes between the last entry and the end of the size field are
    // copied with the list: keep them zero rather than left from the last rule.
    void ClearSlack() { memset(m_bytes.data() + m_end, 0, 4); }

    PARAM_LIST* List() { return reinterpret_cast<PARAM_LIST*>(m_bytes.data()); }
    const PARAM_LIST* List() const { return reinterpret_cast<const PARAM_LIST*>(m_bytes.data()); }

    std::vector<uint8_t> m_bytes;
    uint32_t m_end = sizeof(PARAM_LIST);
};

// Reads one "Param" element into the scratch list. False for a bad "Param":
// a third parameter, no attributes, or no attribute naming a parameter type.
bool ReadParam(const TiXmlElement* param, ParamScratch* scratch)
{
    if (scratch->Count() >= PARAM_MAX_ENTRIES)
        return false;
    const TiXmlAttribute* attribute = param->FirstAttribute();
    if (!attribute)
        return false;
    int type = -1;
    const char* value = nullptr;
    for (; attribute; attribute = attribute->Next()) {
        int t = IndexOf(kParamTypeNames, attribute->Name());
        if (t >= 0) {
            type = t; // the last type attribute wins
            value = attribute->Value();
        }
    }
    switch (type) {
    case ParamType::Any:
        scratch->Add(ParamType::Any, nullptr, 0);
        return true;
    case ParamType::Integer: {
        uint32_t number = static_cast<uint32_t>(atoi(value));
        scratch->Add(ParamType::Integer, &number, 4);
        return true;
    }
    case ParamType::String:
    case ParamType::Wildcards:
    case ParamType::Path: {
        std::wstring text = AnsiToWide(value);
        scratch->Add(static_cast<uint32_t>(type), text.c_str(),
                     static_cast<uint32_t>(2 * (text.size() + 1)));
        return true;
    }
    default:
        return false;
    }
}

// Builds one rule from a "Rule" element and appends it to the entry. False on
// a missing attribute, an unknown "Action" or "Log", or a bad "Param".
bool ReadRule(const TiXmlElement* element, ProgramEntry* entry, ParamScratch* scratch)
{
    const char* groupId = element->Attribute("GroupId");
    const char* info = element->Attribute("Info");
    const char* reason = element->Attribute("Reason");
    const char* action = element->Attribute("Action");
    const char* log = element->Attribute("Log");
    const char* ask = element->Attribute("Ask");
    const char* scan = element->Attribute("Scan");
    if (!groupId || !info || !reason || !action || !log || !ask || !scan)
        return false;
    int actionValue = IndexOf(kActionNames, action);
    int logValue = IndexOf(kLogNames, log);
    if (actionValue < 0 || logValue < 0)
        return false;

    scratch->Start(OperationFromKeyword(AnsiToWide(reason).c_str()));
    for (const TiXmlElement* param = element->FirstChildElement("Param"); param;
         param = param->NextSiblingElement("Param")) {
        if (!ReadParam(param, scratch))
            return false;
    }

    uint16_t flags = 0;
    if (SameNoCase(ask, "Enabled"))
        flags |= RuleFlag::Ask;
    if (SameNoCase(scan, "Enabled"))
        flags |= RuleFlag::Scan;
    return CopyRuleInto(entry, static_cast<uint16_t>(actionValue), static_cast<uint16_t>(logValue),
                        flags, atoi(groupId), AnsiToWide(info).c_str(), scratch->Copy()) != nullptr;
}

// A whole-model file repeats the complete group list in every "Program"
// element: a group identical to one already in the list (same id, name and
// description) is that group again, not a new one.
void AddGroupOnce(GroupList* groups, int32_t id, const std::wstring& name, const std::wstring& info)
{
    for (const RuleGroup& group : groups->groups) {
        if (group.id == id && group.name == name && group.info == info)
            return;
    }
    AddGroup(groups, id, name.c_str(), info.c_str());
}

// Reads one "Program" element into a new entry. Groups are appended to the
// list as they are read. Null on an error inside the element.
ProgramEntry* ReadProgram(const TiXmlElement* element, GroupList* groups, ParamScratch* scratch)
{
    const char* name = element->Attribute("Name");
    const char* hook = element->Attribute("Hook");
    if (!name || !hook)
        return nullptr;
    ProgramEntry* entry = NewProgramEntry(AnsiToWide(name).c_str());
    if (!entry)
        return nullptr;
    if (SameNoCase(hook, "Disabled"))
        entry->enabled = 0;

    for (const TiXmlElement* group = element->FirstChildElement("Group"); group;
         group = group->NextSiblingElement("Group")) {
        const char* groupName = group->Attribute("Name");
        const char* groupInfo = group->Attribute("Info");
        const char* groupId = group->Attribute("Id");
        if (!groupName || !groupInfo || !groupId) {
            FreeProgramEntry(entry);
            return nullptr;
        }
        AddGroupOnce(groups, atoi(groupId), AnsiToWide(groupName), AnsiToWide(groupInfo));
    }

    for (const TiXmlElement* rule = element->FirstChildElement("Rule"); rule;
         rule = rule->NextSiblingElement("Rule")) {
        if (!ReadRule(rule, entry, scratch)) {
            FreeProgramEntry(entry);
            return nullptr;
        }
    }
    return entry;
}

// ---- writing ----------------------------------------------------------------

void SetText(TiXmlElement* element, const char* name, const std::wstring& text)
{
    element->SetAttribute(name, WideToAnsi(text).c_str());
}

TiXmlElement* RuleElement(const Rule* rule)
{
    TiXmlElement* element = new TiXmlElement("Rule");
    element->SetAttribute("GroupId", rule->groupId);
    SetText(element, "Info", rule->info);
    SetText(element, "Reason", OperationKeyword(RuleKind(rule)));
    element->SetAttribute("Action", rule->action < 3 ? kActionNames[rule->action] : "");
    element->SetAttribute("Log", rule->log < 3 ? kLogNames[rule->log] : "");
    element->SetAttribute("Ask", (rule->flags & RuleFlag::Ask) ? "Enabled" : "Disabled");
    element->SetAttribute("Scan", (rule->flags & RuleFlag::Scan) ? "Enabled" : "Disabled");

    const PARAM_LIST* params = rule->params;
    for (uint32_t i = 0; params && i < params->count && i < PARAM_MAX_ENTRIES; ++i) {
        TiXmlElement* param = new TiXmlElement("Param");
        const PARAM_ENTRY* entry = ParamEntryAt(params, i);
        uint32_t type = entry ? entry->type : 0xFFFFFFFFu;
        if (type == ParamType::Any) {
            param->SetAttribute("Any", "Any");
        } else if (type == ParamType::Integer) {
            param->SetAttribute("Integer", static_cast<int>(ParamEntryInteger(entry)));
        } else if (type <= ParamType::Path && ParamEntryText(entry)) {
            SetText(param, kParamTypeNames[type], ParamEntryText(entry));
        }
        element->LinkEndChild(param);
    }
    return element;
}

TiXmlElement* GroupElement(const RuleGroup& group)
{
    TiXmlElement* element = new TiXmlElement("Group");
    element->SetAttribute("Id", group.id);
    SetText(element, "Name", group.name);
    SetText(element, "Info", group.info);
    return element;
}

TiXmlElement* ProgramElement(const ProgramEntry* entry, const GroupList* groups, int32_t filter)
{
    TiXmlElement* element = new TiXmlElement("Program");
    SetText(element, "Name", entry->name);
    element->SetAttribute("Hook", entry->enabled == 1 ? "Enabled" : "Disabled");
    ForEachRule(entry, [element](Rule* rule) { element->LinkEndChild(RuleElement(rule)); },
                filter, -1);
    if (groups) {
        for (const RuleGroup& group : groups->groups) {
            if (filter != RULE_FILE_ALL_GROUPS && group.id != filter)
                continue;
            element->LinkEndChild(GroupElement(group));
            if (filter != RULE_FILE_ALL_GROUPS)
                break; // only the first group of that id
        }
    }
    return element;
}

// Saves the document in text mode (CR LF lines) and flushes it to the disk.
bool SaveDocument(const TiXmlDocument& doc, FILE* file)
{
    bool ok = doc.SaveFile(file);
    ok = fflush(file) == 0 && ok;
    ok = _commit(_fileno(file)) == 0 && ok;
    return ok;
}

} // namespace

RuleSet* ReadRuleFile(GroupList* groups, const wchar_t* path)
{
    RuleSet* set = NewRuleSet();
    if (!set)
        return nullptr;
    GroupList ignored;
    if (!groups)
        groups = &ignored;

    TiXmlDocument doc;
    if (!LoadXmlFile(&doc, path))
        return set;
    const TiXmlElement* root = doc.RootElement();
    if (!root || !SameNoCase(root->Value(), kRootName))
        return set;
    const char* version = root->Attribute("Version");
    if (!version || atoi(version) != 1)
        return set;

    ParamScratch scratch;
    for (const TiXmlElement* program = root->FirstChildElement("Program"); program;
         program = program->NextSiblingElement("Program")) {
        ProgramEntry* entry = ReadProgram(program, groups, &scratch);
        if (!entry)
            break; // the element in error is dropped and reading ends
        AddProgramEntry(set, entry);
    }
    return set;
}

int WriteRuleFile(const GroupList* groups, const RuleSet* set, const wchar_t* path,
                  int32_t groupFilter)
{
    if (!set || !path || !*path)
        return -1;
    // A read-only rule file is not replaced (Windows refuses that rename;
    // other file systems may not).
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return -4;

    TiXmlDocument doc;
    TiXmlElement* root = new TiXmlElement(kRootName);
    root->SetAttribute("Version", "1");
    for (int32_t i = 0; i < set->count; ++i)
        root->LinkEndChild(ProgramElement(set->entries[i], groups, groupFilter));
    doc.LinkEndChild(root);

    // Write beside the target and replace it only once the new file is whole,
    // so that a crash or a full disk never leaves a truncated rule file.
    std::wstring temp = std::wstring(path) + L".tmp";
    FILE* file = _wfopen(temp.c_str(), L"w");
    if (!file)
        return -2;
    bool written = SaveDocument(doc, file);
    written = fclose(file) == 0 && written;
    if (!written) {
        DeleteFileW(temp.c_str());
        return -3;
    }
    if (!MoveFileExW(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return -4;
    }
    return 0;
}
