#include "rules/RuleFile.h"

#include "base/TextConv.h"
#include "base/XmlFile.h"

#include <windows.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
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

// How the file's texts are encoded: the system ANSI code page, or UTF-8 when
// the XML declaration says so (written when a text does not fit the code
// page, so that no letter is lost to "?").
struct FileText {
    bool utf8 = false;

    std::wstring Wide(const char* text) const { return utf8 ? Utf8ToWide(text) : AnsiToWide(text); }
};

// The encoding a parsed document declares: UTF-8 only when its declaration
// names it; a file without a declaration is in the ANSI code page.
FileText DeclaredText(const TiXmlDocument& doc)
{
    FileText text;
    const TiXmlNode* first = doc.FirstChild();
    const TiXmlDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
    if (declaration && declaration->Encoding())
        text.utf8 = SameNoCase(declaration->Encoding(), "UTF-8") || SameNoCase(declaration->Encoding(), "UTF8");
    return text;
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
bool ReadParam(const TiXmlElement* param, const FileText& file, ParamScratch* scratch)
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
        std::wstring text = file.Wide(value);
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
bool ReadRule(const TiXmlElement* element, ProgramEntry* entry, const FileText& file, ParamScratch* scratch)
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

    scratch->Start(OperationFromKeyword(file.Wide(reason).c_str()));
    for (const TiXmlElement* param = element->FirstChildElement("Param"); param;
         param = param->NextSiblingElement("Param")) {
        if (!ReadParam(param, file, scratch))
            return false;
    }

    uint16_t flags = 0;
    if (SameNoCase(ask, "Enabled"))
        flags |= RuleFlag::Ask;
    if (SameNoCase(scan, "Enabled"))
        flags |= RuleFlag::Scan;
    return CopyRuleInto(entry, static_cast<uint16_t>(actionValue), static_cast<uint16_t>(logValue),
                        flags, atoi(groupId), file.Wide(info).c_str(), scratch->Copy()) != nullptr;
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
ProgramEntry* ReadProgram(const TiXmlElement* element, GroupList* groups, const FileText& file,
                          ParamScratch* scratch)
{
    const char* name = element->Attribute("Name");
    const char* hook = element->Attribute("Hook");
    if (!name || !hook)
        return nullptr;
    ProgramEntry* entry = NewProgramEntry(file.Wide(name).c_str());
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
        AddGroupOnce(groups, atoi(groupId), file.Wide(groupName), file.Wide(groupInfo));
    }

    for (const TiXmlElement* rule = element->FirstChildElement("Rule"); rule;
         rule = rule->NextSiblingElement("Rule")) {
        if (!ReadRule(rule, entry, file, scratch)) {
            FreeProgramEntry(entry);
            return nullptr;
        }
    }
    return entry;
}

// ---- writing ----------------------------------------------------------------

// Writes the texts of one document: in the ANSI code page as long as every
// text fits it (the file is then what it always was), in UTF-8 otherwise.
// `fits` turns false at the first text the code page cannot hold, and the
// document is then made again in UTF-8.
struct TextWriter {
    bool utf8 = false;
    bool fits = true;

    void Set(TiXmlElement* element, const char* name, const std::wstring& text)
    {
        std::string narrow;
        if (utf8) {
            narrow = WideToUtf8(text);
        } else if (!WideToAnsiExact(text, &narrow)) {
            fits = false;
            narrow = WideToAnsi(text);
        }
        element->SetAttribute(name, narrow.c_str());
    }
};

TiXmlElement* RuleElement(const Rule* rule, TextWriter* out)
{
    TiXmlElement* element = new TiXmlElement("Rule");
    element->SetAttribute("GroupId", rule->groupId);
    out->Set(element, "Info", rule->info);
    out->Set(element, "Reason", OperationKeyword(RuleKind(rule)));
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
            out->Set(param, kParamTypeNames[type], ParamEntryText(entry));
        }
        element->LinkEndChild(param);
    }
    return element;
}

TiXmlElement* GroupElement(const RuleGroup& group, TextWriter* out)
{
    TiXmlElement* element = new TiXmlElement("Group");
    element->SetAttribute("Id", group.id);
    out->Set(element, "Name", group.name);
    out->Set(element, "Info", group.info);
    return element;
}

TiXmlElement* ProgramElement(const ProgramEntry* entry, const GroupList* groups, int32_t filter,
                             TextWriter* out)
{
    TiXmlElement* element = new TiXmlElement("Program");
    out->Set(element, "Name", entry->name);
    element->SetAttribute("Hook", entry->enabled == 1 ? "Enabled" : "Disabled");
    ForEachRule(entry, [element, out](Rule* rule) { element->LinkEndChild(RuleElement(rule, out)); },
                filter, -1);
    if (groups) {
        for (const RuleGroup& group : groups->groups) {
            if (filter != RULE_FILE_ALL_GROUPS && group.id != filter)
                continue;
            element->LinkEndChild(GroupElement(group, out));
            if (filter != RULE_FILE_ALL_GROUPS)
                break; // only the first group of that id
        }
    }
    return element;
}

// The whole document: in the ANSI code page without a declaration when every
// text fits it, byte for byte the file as it has always been written;
// otherwise in UTF-8 behind a declaration that says so.
void MakeDocument(TiXmlDocument* doc, const GroupList* groups, const RuleSet* set, int32_t groupFilter)
{
    TextWriter out;
    for (;;) {
        doc->Clear();
        if (out.utf8)
            doc->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
        TiXmlElement* root = new TiXmlElement(kRootName);
        root->SetAttribute("Version", "1");
        for (int32_t i = 0; i < set->count; ++i)
            root->LinkEndChild(ProgramElement(set->entries[i], groups, groupFilter, &out));
        doc->LinkEndChild(root);
        if (out.fits || out.utf8)
            return;
        out.utf8 = true;
    }
}

} // namespace

int WriteFileReplacing(const wchar_t* path, const wchar_t* mode, const std::function<bool(FILE*)>& write)
{
    if (!path || !*path)
        return -1;
    // A read-only target is not replaced (Windows refuses that rename;
    // other file systems may not).
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return -4;

    // Write beside the target and replace it only once the new file is whole
    // and on the disk, so that a crash or a full disk never leaves a
    // truncated file.
    std::wstring temp = std::wstring(path) + L".tmp";
    FILE* file = _wfopen(temp.c_str(), mode);
    if (!file)
        return -2;
    bool written = write(file);
    written = fflush(file) == 0 && written;
    written = _commit(_fileno(file)) == 0 && written;
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

    const FileText file = DeclaredText(doc);
    ParamScratch scratch;
    for (const TiXmlElement* program = root->FirstChildElement("Program"); program;
         program = program->NextSiblingElement("Program")) {
        ProgramEntry* entry = ReadProgram(program, groups, file, &scratch);
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
    TiXmlDocument doc;
    MakeDocument(&doc, groups, set, groupFilter);
    // Text mode: CR LF lines.
    return WriteFileReplacing(path, L"w", [&doc](FILE* file) { return doc.SaveFile(file); });
}

FILE_STAMP FileStampOf(const std::wstring& path)
{
    FILE_STAMP stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return stamp;
    stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.lastWrite = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

RuleSet* CopyRulesIfCurrent(const RuleSet* set, const GroupList& groups, const FILE_STAMP& readStamp,
                            const std::wstring& path, GroupList* copyGroups)
{
    if (!set || !copyGroups || readStamp.Missing() || FileStampOf(path) != readStamp)
        return nullptr;
    RuleSet* copy = CopyRuleSet(set);
    if (copy)
        copyGroups->groups.insert(copyGroups->groups.end(), groups.groups.begin(), groups.groups.end());
    return copy;
}
