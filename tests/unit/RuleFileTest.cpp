#include "rules/RuleFile.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};
using SetPtr = std::unique_ptr<RuleSet, SetDeleter>;

// A fresh folder under the temporary folder for each test, removed afterwards.
class RuleFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::wstring(temp) + L"hm_rulefile_" + std::to_wstring(GetCurrentProcessId()) +
                L"_" + std::wstring(info->name(), info->name() + strlen(info->name()));
        CreateDirectoryW(m_dir.c_str(), nullptr);
    }

    void TearDown() override { RemoveTree(m_dir); }

    static void RemoveTree(const std::wstring& dir)
    {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring full = dir + L"\\" + name;
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(dir.c_str());
    }

    std::wstring Path(const wchar_t* name) const { return m_dir + L"\\" + name; }

    static std::string ReadBytes(const std::wstring& path)
    {
        std::string bytes;
        FILE* f = _wfopen(path.c_str(), L"rb");
        if (!f)
            return bytes;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
            bytes.append(buffer, n);
        fclose(f);
        return bytes;
    }

    static void WriteBytes(const std::wstring& path, const std::string& bytes)
    {
        FILE* f = _wfopen(path.c_str(), L"wb");
        ASSERT_TRUE(f);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }

    // Reads a document given as text (ASCII) from a file.
    SetPtr ReadText(const std::string& xml, GroupList* groups)
    {
        std::wstring path = Path(L"in.erd");
        WriteBytes(path, xml);
        return SetPtr(ReadRuleFile(groups, path.c_str()));
    }

    std::wstring m_dir;
};

std::vector<std::wstring> Infos(const ProgramEntry* entry)
{
    std::vector<std::wstring> out;
    ForEachRule(entry, [&out](Rule* r) { out.push_back(r->info); }, -1, -1);
    return out;
}

Rule* AddRule(RuleSet* set, uint32_t kind, const wchar_t* info, PARAM_LIST* params,
              uint16_t action = RuleAction::Reject, uint16_t log = RuleLog::Log,
              uint16_t flags = RuleFlag::Ask, int32_t group = 0)
{
    params->kind = kind;
    return CopyRuleInto(set->entries[0], action, log, flags, group, info, params);
}

// The start of a document that TinyXML reads as UTF-8, up to an open "*"
// entry.
const std::string kUtf8Document =
    "<?xml version=\"1.0\" ?>\n<HarrowmereRule Version=\"1\"><Program Name=\"*\" Hook=\"Enabled\">";

std::string Rule_(const std::string& info, const std::string& params = R"(<Param Wildcards="x" />)")
{
    return "<Rule GroupId=\"0\" Info=\"" + info +
           R"(" Reason="OpenFile" Action="Reject" Log="Log" Ask="Enabled" Scan="Disabled">)" +
           params + "</Rule>";
}

} // namespace

TEST_F(RuleFileTest, WrittenFileHasTheExactTextAndLineEnds)
{
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"a<b&c\"", BuildParamList(0, "w", L"C:\\*.txt"));
    AddRule(set.get(), 1, L"r", BuildParamList(1, "w*", L"HKLM\\Run"), RuleAction::Accept,
            RuleLog::Alert, RuleFlag::Scan, 3);
    GroupList groups;
    AddGroup(&groups, 3, L"G", L"d");
    std::wstring path = Path(L"Harrowmere.erd");
    ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), RULE_FILE_ALL_GROUPS), 0);

    const std::string expected =
        "<HarrowmereRule Version=\"1\">\r\n"
        "    <Program Name=\"*\" Hook=\"Enabled\">\r\n"
        "        <Rule GroupId=\"0\" Info='a&lt;b&amp;c&quot;' Reason=\"OpenFile\" Action=\"Reject\" "
        "Log=\"Log\" Ask=\"Enabled\" Scan=\"Disabled\">\r\n"
        "            <Param Wildcards=\"C:\\*.txt\" />\r\n"
        "        </Rule>\r\n"
        "        <Rule GroupId=\"3\" Info=\"r\" Reason=\"RegSetValue\" Action=\"Accept\" "
        "Log=\"Alert\" Ask=\"Disabled\" Scan=\"Enabled\">\r\n"
        "            <Param Wildcards=\"HKLM\\Run\" />\r\n"
        "            <Param Any=\"Any\" />\r\n"
        "        </Rule>\r\n"
        "        <Group Id=\"3\" Name=\"G\" Info=\"d\" />\r\n"
        "    </Program>\r\n"
        "</HarrowmereRule>\r\n";
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(GetFileAttributesW((path + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(RuleFileTest, EveryFieldSurvivesARoundTrip)
{
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"file", BuildParamList(0, "p", L"C:\\Windows\\*"), RuleAction::Feign,
            RuleLog::Alert, RuleFlag::Ask | RuleFlag::Scan, 2);
    AddRule(set.get(), 1, L"reg", BuildParamList(1, "ws", L"HKCU\\Software\\*", L"Value"),
            RuleAction::Accept, RuleLog::None, 0, 0);
    AddRule(set.get(), 2, L"exec", BuildParamList(2, "n", static_cast<uint32_t>(-5)));
    ProgramEntry* other = NewProgramEntry(L"cmd.exe");
    other->enabled = 0;
    CopyRuleInto(other, RuleAction::Reject, RuleLog::Log, 0, 1, L"only cmd",
                 BuildParamList(2, "*"));
    AddProgramEntry(set.get(), other);
    GroupList groups;
    AddGroup(&groups, 2, L"two", L"second");
    AddGroup(&groups, 0, L"zero", L"");

    std::wstring path = Path(L"all.erd");
    ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), -1), 0);
    GroupList readGroups;
    SetPtr back(ReadRuleFile(&readGroups, path.c_str()));
    ASSERT_EQ(back->count, 2);
    EXPECT_STREQ(back->entries[1]->name, L"cmd.exe");
    EXPECT_EQ(back->entries[1]->enabled, 0);

    for (int32_t e = 0; e < 2; ++e) {
        std::vector<const Rule*> want, got;
        ForEachRule(set->entries[e], [&want](Rule* r) { want.push_back(r); }, -1, -1);
        ForEachRule(back->entries[e], [&got](Rule* r) { got.push_back(r); }, -1, -1);
        ASSERT_EQ(want.size(), got.size());
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i]->action, want[i]->action);
            EXPECT_EQ(got[i]->log, want[i]->log);
            EXPECT_EQ(got[i]->flags, want[i]->flags);
            EXPECT_EQ(got[i]->groupId, want[i]->groupId);
            EXPECT_EQ(got[i]->info, want[i]->info);
            EXPECT_TRUE(ParamListEqual(got[i]->params, want[i]->params)) << i;
            EXPECT_NE(got[i]->id, want[i]->id); // read rules are new rules
        }
    }
    // The group list is repeated in every "Program" element and read once.
    ASSERT_EQ(readGroups.groups.size(), 2u);
    EXPECT_EQ(readGroups.groups.front().name, L"two");
    EXPECT_EQ(readGroups.groups.front().info, L"second");
    EXPECT_EQ(readGroups.groups.back().id, 0);
}

TEST_F(RuleFileTest, GroupsDoNotMultiplyOverSaveAndReadCycles)
{
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"in one", BuildParamList(0, "w", L"C:\\one\\*"), RuleAction::Reject,
            RuleLog::Log, 0, 1);
    ProgramEntry* other = NewProgramEntry(L"cmd.exe");
    CopyRuleInto(other, RuleAction::Reject, RuleLog::Log, 0, 2, L"in two", BuildParamList(2, "w", L"*"));
    AddProgramEntry(set.get(), other);
    GroupList groups;
    AddGroup(&groups, 1, L"one", L"first");
    AddGroup(&groups, 2, L"two", L"");
    // Same id, another name: a different group that must stay.
    AddGroup(&groups, 2, L"Two", L"");

    std::wstring path = Path(L"cycles.erd");
    for (int cycle = 0; cycle < 5; ++cycle) {
        ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), RULE_FILE_ALL_GROUPS), 0);
        GroupList readGroups;
        set.reset(ReadRuleFile(&readGroups, path.c_str()));
        std::vector<std::wstring> names;
        for (const RuleGroup& g : readGroups.groups)
            names.push_back(std::to_wstring(g.id) + L":" + g.name + L":" + g.info);
        EXPECT_EQ(names, (std::vector<std::wstring>{ L"1:one:first", L"2:two:", L"2:Two:" })) << cycle;
        EXPECT_EQ(RuleCount(set.get()), 2u) << cycle;
        ClearGroups(&groups);
        groups.groups.splice(groups.groups.end(), readGroups.groups);
    }
}

TEST_F(RuleFileTest, GroupFilterWritesOnlyThatGroupAndItsRules)
{
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"in1", BuildParamList(0, "w", L"a"), 0, 0, 0, 4);
    AddRule(set.get(), 0, L"out", BuildParamList(0, "w", L"b"), 0, 0, 0, 1);
    AddRule(set.get(), 2, L"in2", BuildParamList(2, "w", L"c"), 0, 0, 0, 4);
    GroupList groups;
    AddGroup(&groups, 1, L"one", L"");
    AddGroup(&groups, 4, L"four", L"");
    AddGroup(&groups, 4, L"four again", L"");
    std::wstring path = Path(L"export.erd");
    ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), 4), 0);

    GroupList readGroups;
    SetPtr back(ReadRuleFile(&readGroups, path.c_str()));
    EXPECT_EQ(Infos(back->entries[0]), (std::vector<std::wstring>{L"in1", L"in2"}));
    ASSERT_EQ(readGroups.groups.size(), 1u);
    EXPECT_EQ(readGroups.groups.front().name, L"four");
}

TEST_F(RuleFileTest, UnreadableOrForeignFilesGiveTheEmptySet)
{
    struct Case {
        const char* name;
        std::string xml; // empty: no file at all
    } cases[] = {
        {"missing file", ""},
        {"not well-formed", "<HarrowmereRule Version=\"1\"><Program"},
        {"other root", "<Rules Version=\"1\"><Program Name=\"*\" Hook=\"Enabled\">" +
                           Rule_("x") + "</Program></Rules>"},
        {"version 2", "<HarrowmereRule Version=\"2\"><Program Name=\"*\" Hook=\"Enabled\">" +
                          Rule_("x") + "</Program></HarrowmereRule>"},
        {"no version", "<HarrowmereRule><Program Name=\"*\" Hook=\"Enabled\">" + Rule_("x") +
                           "</Program></HarrowmereRule>"},
        // A UTF-8 lead byte whose sequence the end of the text (a NUL) cuts:
        // the parser must not step over the end and read what lies behind.
        {"UTF-8 sequence cut at the end", kUtf8Document + Rule_("x") + "</Program><Program Name=\"\xF0"},
        {"UTF-8 sequence cut by a NUL", kUtf8Document + Rule_(std::string("x\xF0") + '\0' + "ab") +
                                            "</Program></HarrowmereRule>"},
    };
    for (const Case& c : cases) {
        GroupList groups;
        SetPtr set;
        if (c.xml.empty())
            set.reset(ReadRuleFile(&groups, Path(L"absent.erd").c_str()));
        else
            set = ReadText(c.xml, &groups);
        ASSERT_TRUE(set) << c.name;
        EXPECT_EQ(set->count, 1) << c.name;
        EXPECT_STREQ(set->entries[0]->name, L"*") << c.name;
        EXPECT_EQ(RuleCount(set.get()), 0u) << c.name;
    }
}

TEST_F(RuleFileTest, RootNameIgnoresCaseAndVersionReadsLeadingDigits)
{
    GroupList groups;
    SetPtr set = ReadText("<harrowmererule Version=\"1abc\"><Program Name=\"*\" Hook=\"Enabled\">" +
                              Rule_("x") + "</Program></harrowmererule>",
                          &groups);
    EXPECT_EQ(RuleCount(set.get()), 1u);
}

TEST_F(RuleFileTest, AnErrorDropsItsProgramAndEndsTheReading)
{
    std::string noScan =
        R"(<Rule GroupId="0" Info="bad" Reason="OpenFile" Action="Reject" Log="Log" Ask="Enabled"><Param Any="Any" /></Rule>)";
    std::string xml = "<HarrowmereRule Version=\"1\">"
                      "<Program Name=\"first.exe\" Hook=\"Enabled\">" + Rule_("kept") + "</Program>"
                      "<Program Name=\"*\" Hook=\"Enabled\"><Group Id=\"0\" Name=\"g\" Info=\"\" />" +
                      Rule_("lost") + noScan + "</Program>"
                      "<Program Name=\"later.exe\" Hook=\"Enabled\">" + Rule_("never") + "</Program>"
                      "</HarrowmereRule>";
    GroupList groups;
    SetPtr set = ReadText(xml, &groups);
    ASSERT_EQ(set->count, 2); // "*" from the start, then first.exe
    EXPECT_STREQ(set->entries[1]->name, L"first.exe");
    EXPECT_EQ(Infos(set->entries[1]), std::vector<std::wstring>{L"kept"});
    EXPECT_EQ(Infos(set->entries[0]), std::vector<std::wstring>{});
    EXPECT_EQ(groups.groups.size(), 1u); // appended before the error, so it stays
}

TEST_F(RuleFileTest, RuleErrorsEndTheReading)
{
    const std::string ok = Rule_("ok");
    struct Case {
        const char* name;
        std::string rule;
    } cases[] = {
        {"bad action", R"(<Rule GroupId="0" Info="i" Reason="OpenFile" Action="Allow" Log="Log" Ask="Enabled" Scan="Disabled" />)"},
        {"bad log", R"(<Rule GroupId="0" Info="i" Reason="OpenFile" Action="Reject" Log="Loud" Ask="Enabled" Scan="Disabled" />)"},
        {"no group id", R"(<Rule Info="i" Reason="OpenFile" Action="Reject" Log="Log" Ask="Enabled" Scan="Disabled" />)"},
        {"three params", Rule_("p", R"(<Param Any="Any" /><Param Any="Any" /><Param Any="Any" />)")},
        {"param without attributes", Rule_("p", "<Param />")},
        {"param of no type", Rule_("p", R"(<Param Colour="red" />)")},
        {"group without id", R"(<Group Name="g" Info="" />)"},
        {"program without hook", ""},
    };
    for (const Case& c : cases) {
        std::string program = c.rule.empty() ? "<Program Name=\"x.exe\">" + ok + "</Program>"
                                             : "<Program Name=\"x.exe\" Hook=\"Enabled\">" + ok +
                                                   c.rule + "</Program>";
        GroupList groups;
        SetPtr set = ReadText("<HarrowmereRule Version=\"1\">" + program + "</HarrowmereRule>",
                              &groups);
        EXPECT_EQ(set->count, 1) << c.name;
        EXPECT_EQ(RuleCount(set.get()), 0u) << c.name;
    }
}

TEST_F(RuleFileTest, AttributeValuesAreReadWithoutRegardToCase)
{
    std::string xml = R"(<HarrowmereRule Version="1"><Program Name="a.exe" Hook="disabled">)"
                      R"(<Rule GroupId="9" Info="a" Reason="regsetvalue" Action="FEIGN" Log="alert" Ask="ENABLED" Scan="enabled">)"
                      R"(<Param wildcards="K" /><Param STRING="V" /></Rule>)"
                      R"(<Rule GroupId="x" Info="b" Reason="Delete" Action="accept" Log="none" Ask="yes" Scan="" />)"
                      R"(</Program></HarrowmereRule>)";
    SetPtr set = ReadText(xml, nullptr);
    ASSERT_EQ(set->count, 2);
    ProgramEntry* all = set->entries[1];
    EXPECT_EQ(all->enabled, 0);
    Rule* reg = all->rules[1];
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->action, RuleAction::Feign);
    EXPECT_EQ(reg->log, RuleLog::Alert);
    EXPECT_EQ(reg->flags, RuleFlag::Ask | RuleFlag::Scan);
    EXPECT_EQ(reg->groupId, 9);
    EXPECT_EQ(ParamEntryAt(reg->params, 0)->type, ParamType::Wildcards);
    EXPECT_EQ(ParamEntryAt(reg->params, 1)->type, ParamType::String);

    Rule* other = all->rules[0]; // an unknown reason reads as OpenFile
    ASSERT_TRUE(other);
    EXPECT_EQ(other->action, RuleAction::Accept);
    EXPECT_EQ(other->flags, 0);
    EXPECT_EQ(other->groupId, 0);
    EXPECT_EQ(other->params->count, 0u);
    EXPECT_EQ(other->params->size, PARAM_LIST_EMPTY_SIZE);
    // Nothing of the previous rule's parameters is left in the slack bytes.
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(other->params);
    for (uint32_t i = sizeof(PARAM_LIST); i < other->params->size; ++i)
        EXPECT_EQ(raw[i], 0) << "byte " << i;
}

TEST_F(RuleFileTest, LastTypeAttributeOfAParamWins)
{
    std::string xml = "<HarrowmereRule Version=\"1\"><Program Name=\"*\" Hook=\"Enabled\">" +
                      Rule_("p", R"(<Param Wildcards="C:\*" Note="n" Integer="42" />)") +
                      "</Program></HarrowmereRule>";
    SetPtr set = ReadText(xml, nullptr);
    Rule* r = set->entries[0]->rules[0];
    ASSERT_TRUE(r);
    const PARAM_ENTRY* entry = ParamEntryAt(r->params, 0);
    EXPECT_EQ(entry->type, ParamType::Integer);
    EXPECT_EQ(entry->size, 12u);
    EXPECT_EQ(ParamEntryInteger(entry), 42u);
    EXPECT_EQ(r->params->size, PARAM_LIST_EMPTY_SIZE + 12);
}

TEST_F(RuleFileTest, ProgramsOfTheSameNameMergeAndTheirRepeatedGroupIsReadOnce)
{
    std::string group = R"(<Group Id="0" Name="g" Info="" />)";
    std::string xml = "<HarrowmereRule Version=\"1\">"
                      "<Program Name=\"*\" Hook=\"Enabled\">" + group + Rule_("one") + "</Program>"
                      "<Program Name=\"*\" Hook=\"Enabled\">" + group + Rule_("two") + "</Program>"
                      "</HarrowmereRule>";
    GroupList groups;
    SetPtr set = ReadText(xml, &groups);
    EXPECT_EQ(set->count, 1);
    EXPECT_EQ(Infos(set->entries[0]), (std::vector<std::wstring>{L"one", L"two"}));
    EXPECT_EQ(groups.groups.size(), 1u);
}

TEST_F(RuleFileTest, LongPatternSurvivesRoundTrip)
{
    // Two patterns far beyond 2048 bytes of parameter list.
    std::wstring key = L"HKEY_LOCAL_MACHINE\\" + std::wstring(1500, L'k') + L"\\*";
    std::wstring value(1200, L'v');
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 1, L"long", BuildParamList(1, "ww", key.c_str(), value.c_str()));
    std::wstring path = Path(L"long.erd");
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(WriteRuleFile(nullptr, set.get(), path.c_str(), -1), 0);
        set.reset(ReadRuleFile(nullptr, path.c_str()));
        Rule* r = set->entries[0]->rules[1];
        ASSERT_TRUE(r);
        EXPECT_EQ(ParamEntryText(ParamEntryAt(r->params, 0)), key);
        EXPECT_EQ(ParamEntryText(ParamEntryAt(r->params, 1)), value);
    }
}

TEST_F(RuleFileTest, ChineseAndMarkupSurviveHundredCyclesUnderCodePage936)
{
    ASSERT_EQ(GetACP(), 936u) << "this test needs the Chinese ANSI code page: run with "
                                 "LANG=zh_CN.UTF-8 (and a generated zh_CN.UTF-8 locale)";
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"阻止修改系统文件 <重要> & \"引号\" 'x'",
            BuildParamList(0, "w", L"C:\\Windows\\系统32\\*.dll"));
    std::wstring longPattern = L"D:\\资料\\" + std::wstring(700, L'\x6587') + L"\\*";
    AddRule(set.get(), 1, L"注册表\t启动项\n第二行",
            BuildParamList(1, "ww", L"HKEY_LOCAL_MACHINE\\软件\\*", longPattern.c_str()));
    AddRule(set.get(), 2, L"", BuildParamList(2, "p", L"  前后空格  "));
    GroupList groups;
    AddGroup(&groups, 0, L"系统 <保护>", L"说明 & \"备注\"");

    std::wstring path = Path(L"中文规则.erd");
    ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), -1), 0);
    const std::string first = ReadBytes(path);
    ASSERT_FALSE(first.empty());

    for (int cycle = 0; cycle < 100; ++cycle) {
        GroupList readGroups;
        SetPtr back(ReadRuleFile(&readGroups, path.c_str()));
        ASSERT_EQ(WriteRuleFile(&readGroups, back.get(), path.c_str(), -1), 0);
        ASSERT_EQ(ReadBytes(path), first) << "cycle " << cycle;
    }

    GroupList readGroups;
    SetPtr back(ReadRuleFile(&readGroups, path.c_str()));
    std::vector<const Rule*> want, got;
    ForEachRule(set->entries[0], [&want](Rule* r) { want.push_back(r); }, -1, -1);
    ForEachRule(back->entries[0], [&got](Rule* r) { got.push_back(r); }, -1, -1);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i]->info, want[i]->info);
        EXPECT_TRUE(ParamListEqual(got[i]->params, want[i]->params)) << i;
    }
    ASSERT_EQ(readGroups.groups.size(), 1u);
    EXPECT_EQ(readGroups.groups.front().name, L"系统 <保护>");
    EXPECT_EQ(readGroups.groups.front().info, L"说明 & \"备注\"");
}

TEST_F(RuleFileTest, FailedWriteLeavesTheOldFileIntact)
{
    std::wstring path = Path(L"Harrowmere.erd");
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"old", BuildParamList(0, "w", L"C:\\old\\*"));
    ASSERT_EQ(WriteRuleFile(nullptr, set.get(), path.c_str(), -1), 0);
    const std::string before = ReadBytes(path);

    SetPtr changed(NewRuleSet());
    AddRule(changed.get(), 0, L"new", BuildParamList(0, "w", L"C:\\new\\*"));

    // The temporary name is taken by a folder: the new file cannot be made.
    std::wstring temp = path + L".tmp";
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    EXPECT_EQ(WriteRuleFile(nullptr, changed.get(), path.c_str(), -1), -2);
    EXPECT_EQ(ReadBytes(path), before);
    RemoveDirectoryW(temp.c_str());

    // The target is a folder: the finished file cannot replace it, and the
    // temporary file is cleaned up.
    std::wstring folderTarget = Path(L"folder.erd");
    ASSERT_TRUE(CreateDirectoryW(folderTarget.c_str(), nullptr));
    EXPECT_EQ(WriteRuleFile(nullptr, changed.get(), folderTarget.c_str(), -1), -4);
    EXPECT_NE(GetFileAttributesW(folderTarget.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetFileAttributesW((folderTarget + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES);

    // A read-only rule file stays as it is.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(WriteRuleFile(nullptr, changed.get(), path.c_str(), -1), -4);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(GetFileAttributesW(temp.c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A missing folder.
    EXPECT_EQ(WriteRuleFile(nullptr, changed.get(), Path(L"no\\such.erd").c_str(), -1), -2);
    EXPECT_EQ(WriteRuleFile(nullptr, nullptr, path.c_str(), -1), -1);

    // And a write that succeeds replaces the file.
    ASSERT_EQ(WriteRuleFile(nullptr, changed.get(), path.c_str(), -1), 0);
    SetPtr back(ReadRuleFile(nullptr, path.c_str()));
    EXPECT_EQ(Infos(back->entries[0]), std::vector<std::wstring>{L"new"});
}

// A text the ANSI code page lacks, in each place a rule file holds text,
// survives saving, reading back and exporting its group: the file is then
// UTF-8 and says so, and saving what was read gives the same bytes.
TEST_F(RuleFileTest, LettersTheCodePageLacksSurviveSaveReadAndExport)
{
    ASSERT_EQ(GetACP(), 936u) << "this test needs the Chinese ANSI code page (LANG=zh_CN.UTF-8)";
    const std::wstring vietnamese = L"Nguy\x1EC5n V\x0103n \x0110\x1EE9\x0063";   // Nguyễn Văn Đức
    const std::wstring armenian = L"\x0540\x0561\x0575\x0561\x057D\x057F\x0561\x0576"; // Հայաստան
    struct Case {
        const char* place;
        std::wstring program, info, pattern, groupName;
    } cases[] = {
        {"pattern", L"*", L"i", L"C:\\" + vietnamese + L"\\*.txt", L"g"},
        {"rule description", L"*", armenian + L" & <" + vietnamese + L">", L"C:\\*", L"g"},
        {"group name", L"*", L"i", L"C:\\*", armenian},
        {"program name", L"C:\\" + armenian + L"\\app.exe", L"i", L"C:\\*", L"g"},
        {"beside Chinese", L"*", L"中文 " + vietnamese, L"D:\\资料\\" + armenian + L"\\*", L"组"},
    };
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.place);
        SetPtr set(NewRuleSet());
        ProgramEntry* entry = set->entries[0];
        if (c.program != L"*") {
            entry = NewProgramEntry(c.program.c_str());
            AddProgramEntry(set.get(), entry);
        }
        CopyRuleInto(entry, RuleAction::Reject, RuleLog::Log, 0, 4, c.info.c_str(),
                     BuildParamList(0, "w", c.pattern.c_str()));
        GroupList groups;
        AddGroup(&groups, 4, c.groupName.c_str(), L"");

        for (int32_t filter : {RULE_FILE_ALL_GROUPS, 4}) {
            std::wstring path = Path(filter == 4 ? L"export.erd" : L"Harrowmere.erd");
            ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), filter), 0);
            const std::string bytes = ReadBytes(path);
            EXPECT_EQ(bytes.compare(0, declaration.size(), declaration), 0) << bytes.substr(0, 60);
            EXPECT_EQ(bytes.find('?', declaration.size()), std::string::npos) << "a letter became \"?\"";

            GroupList readGroups;
            SetPtr back(ReadRuleFile(&readGroups, path.c_str()));
            ASSERT_EQ(back->count, set->count);
            const ProgramEntry* readEntry = back->entries[back->count - 1];
            EXPECT_EQ(std::wstring(readEntry->name), c.program);
            const Rule* rule = readEntry->rules[0];
            ASSERT_TRUE(rule);
            EXPECT_EQ(rule->info, c.info);
            EXPECT_EQ(ParamEntryText(ParamEntryAt(rule->params, 0)), c.pattern);
            ASSERT_EQ(readGroups.groups.size(), 1u);
            EXPECT_EQ(readGroups.groups.front().name, c.groupName);

            ASSERT_EQ(WriteRuleFile(&readGroups, back.get(), path.c_str(), filter), 0);
            EXPECT_EQ(ReadBytes(path), bytes);
        }
    }
}

// Which encoding a file is read in: UTF-8 only when its declaration names
// UTF-8; without a declaration, or with another encoding named, the bytes
// are ANSI (code page 936) as they always were.
TEST_F(RuleFileTest, TheDeclarationDecidesHowTextsAreRead)
{
    ASSERT_EQ(GetACP(), 936u) << "this test needs the Chinese ANSI code page (LANG=zh_CN.UTF-8)";
    const std::string utf8Letters = "\xE1\xBB\x87\xD5\xA1"; // ệա in UTF-8
    const std::string gbkLetters = "\xD6\xD0\xCE\xC4";       // 中文 in code page 936
    const std::string body = "<HarrowmereRule Version=\"1\"><Program Name=\"*\" Hook=\"Enabled\">";
    struct Case {
        const char* what;
        std::string declaration, letters;
        std::wstring info;
    } cases[] = {
        {"UTF-8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>", utf8Letters, L"\x1EC7\x0561"},
        {"utf-8 in lower case", "<?xml version=\"1.0\" encoding=\"utf-8\"?>", utf8Letters, L"\x1EC7\x0561"},
        {"no declaration", "", gbkLetters, L"中文"},
        {"declaration without encoding", "<?xml version=\"1.0\" ?>", gbkLetters, L"中文"},
        {"another encoding named", "<?xml version=\"1.0\" encoding=\"GB2312\" ?>", gbkLetters, L"中文"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GroupList groups;
        SetPtr set = ReadText(c.declaration + "\r\n" + body + Rule_(c.letters) + "</Program></HarrowmereRule>", &groups);
        ASSERT_TRUE(set->entries[0]->rules[0]);
        EXPECT_EQ(set->entries[0]->rules[0]->info, c.info);
    }
}

// Texts that all fit the code page give the file as it was always written:
// no declaration, every text in code page 936.
TEST_F(RuleFileTest, CodePageTextsKeepTheAnsiFile)
{
    ASSERT_EQ(GetACP(), 936u) << "this test needs the Chinese ANSI code page (LANG=zh_CN.UTF-8)";
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"中文说明", BuildParamList(0, "w", L"C:\\资料\\*"));
    std::wstring path = Path(L"ansi.erd");
    ASSERT_EQ(WriteRuleFile(nullptr, set.get(), path.c_str(), -1), 0);
    const std::string expected =
        "<HarrowmereRule Version=\"1\">\r\n"
        "    <Program Name=\"*\" Hook=\"Enabled\">\r\n"
        "        <Rule GroupId=\"0\" Info=\"\xD6\xD0\xCE\xC4\xCB\xB5\xC3\xF7\" Reason=\"OpenFile\" "
        "Action=\"Reject\" Log=\"Log\" Ask=\"Enabled\" Scan=\"Disabled\">\r\n"
        "            <Param Wildcards=\"C:\\\xD7\xCA\xC1\xCF\\*\" />\r\n"
        "        </Rule>\r\n"
        "    </Program>\r\n"
        "</HarrowmereRule>\r\n";
    EXPECT_EQ(ReadBytes(path), expected);
}

// The editor starts from a copy of the rules the guard read, as long as the
// file was not rewritten since: the copy writes the very same file and is
// made of new rules; a rewritten, missing or never read file gives none.
TEST_F(RuleFileTest, RulesAreCopiedOnlyWhileTheFileIsAsRead)
{
    SetPtr set(NewRuleSet());
    AddRule(set.get(), 0, L"file", BuildParamList(0, "p", L"C:\\Windows\\*"), RuleAction::Feign,
            RuleLog::Alert, RuleFlag::Ask | RuleFlag::Scan, 2);
    AddRule(set.get(), 1, L"reg", BuildParamList(1, "ws", L"HKCU\\Software\\*", L"Value"),
            RuleAction::Accept, RuleLog::None, 0, 0);
    AddRule(set.get(), 0, L"file two", BuildParamList(0, "w", L"D:\\*"));
    ProgramEntry* other = NewProgramEntry(L"cmd.exe");
    other->enabled = 0;
    CopyRuleInto(other, RuleAction::Reject, RuleLog::Log, 0, 2, L"only cmd", BuildParamList(2, "*"));
    AddProgramEntry(set.get(), other);
    GroupList groups;
    AddGroup(&groups, 2, L"two", L"second");
    AddGroup(&groups, 0, L"zero", L"");
    const std::wstring path = Path(L"Harrowmere.erd");
    ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), -1), 0);

    const FILE_STAMP stamp = FileStampOf(path);
    EXPECT_FALSE(stamp.Missing());
    GroupList heldGroups;
    SetPtr held(ReadRuleFile(&heldGroups, path.c_str()));
    GroupList copyGroups;
    SetPtr copy(CopyRulesIfCurrent(held.get(), heldGroups, stamp, path, &copyGroups));
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->count, 2);
    EXPECT_EQ(copy->entries[1]->enabled, 0);
    EXPECT_EQ(RuleCount(copy.get()), 4u);
    ForEachRule(copy->entries[0], [&](Rule* rule) {
        EXPECT_EQ(FindRuleById(copy.get(), rule->id), rule);
        EXPECT_EQ(FindRuleById(held.get(), rule->id), nullptr);
    }, -1, -1);
    ASSERT_EQ(WriteRuleFile(&copyGroups, copy.get(), Path(L"copy.erd").c_str(), -1), 0);
    EXPECT_EQ(ReadBytes(Path(L"copy.erd")), ReadBytes(path));

    struct Case {
        const char* what;
        FILE_STAMP stamp;
        const RuleSet* set;
        std::wstring path;
    } stale[] = {
        { "never read", FILE_STAMP(), held.get(), path },
        { "missing file", stamp, held.get(), Path(L"missing.erd") },
        { "no rules", stamp, nullptr, path },
    };
    for (const Case& c : stale) {
        GroupList none;
        EXPECT_EQ(CopyRulesIfCurrent(c.set, heldGroups, c.stamp, c.path, &none), nullptr) << c.what;
        EXPECT_TRUE(none.groups.empty()) << c.what;
    }
    // Rewritten since: read the file instead.
    AddRule(set.get(), 2, L"new", BuildParamList(2, "*"));
    ASSERT_EQ(WriteRuleFile(&groups, set.get(), path.c_str(), -1), 0);
    GroupList none;
    EXPECT_EQ(CopyRulesIfCurrent(held.get(), heldGroups, stamp, path, &none), nullptr);
    ClearGroups(&groups);
}
