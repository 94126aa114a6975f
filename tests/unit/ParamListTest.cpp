#include "rules/ParamList.h"
#include "rules/RuleModel.h"

#include "unit/LittleEndian.h"

#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct ListDeleter {
    void operator()(PARAM_LIST* list) const { FreeParamList(list); }
};
using ListPtr = std::unique_ptr<PARAM_LIST, ListDeleter>;

std::vector<uint8_t> BytesOf(const PARAM_LIST* list)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(list);
    return std::vector<uint8_t>(p, p + list->size);
}

using bytes::Put32;
using bytes::PutText;

std::wstring Param(const PARAM_LIST* list, uint32_t index, int capacity = 256)
{
    std::vector<wchar_t> buffer(static_cast<size_t>(capacity) + 1, L'#');
    int n = FormatParam(list, index, buffer.data(), capacity);
    EXPECT_EQ(static_cast<size_t>(n), wcslen(buffer.data()));
    return buffer.data();
}

} // namespace

TEST(ParamList, EmptyStringListHasExactLayout)
{
    ListPtr list(BuildParamList(OperationKind::OpenFile, "s", L""));
    ASSERT_TRUE(list);
    std::vector<uint8_t> expected;
    Put32(expected, 34); // 24 + one String entry of size 10
    Put32(expected, 0);  // kind
    Put32(expected, 1);  // count
    Put32(expected, 0);  // offset of entry 0
    Put32(expected, 0);  // offset of entry 1, not written
    Put32(expected, 10); // entry size
    Put32(expected, ParamType::String);
    PutText(expected, L"");
    expected.resize(34, 0); // slack byte(s) after the last entry
    EXPECT_EQ(BytesOf(list.get()), expected);
}

TEST(ParamList, TwoStringListHasExactLayout)
{
    ListPtr list(BuildParamList(OperationKind::SetRegistryValue, "ss", L"AB", L"C"));
    ASSERT_TRUE(list);
    std::vector<uint8_t> expected;
    Put32(expected, 24 + 14 + 12);
    Put32(expected, 1);
    Put32(expected, 2);
    Put32(expected, 0);
    Put32(expected, 14); // second entry's offset is the first entry's size
    Put32(expected, 14);
    Put32(expected, ParamType::String);
    PutText(expected, L"AB");
    Put32(expected, 12);
    Put32(expected, ParamType::String);
    PutText(expected, L"C");
    expected.resize(50, 0);
    EXPECT_EQ(BytesOf(list.get()), expected);
}

TEST(ParamList, SizesFollowTheFormatLetters)
{
    EXPECT_EQ(ParamListSize(""), 0u);
    EXPECT_EQ(ParamListSize("*"), 8u);
    EXPECT_EQ(ParamListSize("n", 7u), 12u);
    EXPECT_EQ(ParamListSize("w", L"abc"), 16u);
    EXPECT_EQ(ParamListSize("p", static_cast<const wchar_t*>(nullptr)), 10u);
    EXPECT_EQ(ParamListSize("s*", L"x"), 12u + 8u);
    EXPECT_EQ(ParamListSize("nw", 1u, L"\x4e2d\x6587"), 12u + 14u);
}

TEST(ParamList, EntriesCarryTypesAndValues)
{
    ListPtr list(BuildParamList(2, "n*", 4294967295u));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size, 24u + 12u + 8u);
    const PARAM_ENTRY* number = ParamEntryAt(list.get(), 0);
    const PARAM_ENTRY* any = ParamEntryAt(list.get(), 1);
    ASSERT_TRUE(number && any);
    EXPECT_EQ(number->type, ParamType::Integer);
    EXPECT_EQ(ParamEntryInteger(number), 4294967295u);
    EXPECT_EQ(any->type, ParamType::Any);
    EXPECT_EQ(any->size, 8u);
    EXPECT_EQ(list->offset[1], 12u);
    EXPECT_EQ(ParamEntryAt(list.get(), 2), nullptr);

    ListPtr texts(BuildParamList(0, "wp", L"C:\\*.exe", static_cast<const wchar_t*>(nullptr)));
    ASSERT_TRUE(texts);
    EXPECT_STREQ(ParamEntryText(ParamEntryAt(texts.get(), 0)), L"C:\\*.exe");
    EXPECT_EQ(ParamEntryAt(texts.get(), 0)->type, ParamType::Wildcards);
    EXPECT_STREQ(ParamEntryText(ParamEntryAt(texts.get(), 1)), L""); // null is the empty text
    EXPECT_EQ(ParamEntryAt(texts.get(), 1)->type, ParamType::Path);
}

TEST(ParamList, MoreThanTwoEntriesAreRefused)
{
    EXPECT_EQ(BuildParamList(0, "sss", L"a", L"b", L"c"), nullptr);
}

TEST(ParamList, FillFailsWhenEntriesDoNotFit)
{
    alignas(4) uint8_t block[64] = {};
    PARAM_LIST* list = reinterpret_cast<PARAM_LIST*>(block);

    list->size = 22; // below the smallest list
    EXPECT_EQ(FillParamList(list, 0, ""), 0);

    list->size = 23;
    EXPECT_EQ(FillParamList(list, 1, ""), 1);
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(list->kind, 1u);

    list->size = 23 + 9; // one String "" is 10 bytes: does not fit
    EXPECT_EQ(FillParamList(list, 0, "s", L""), 0);
    list->size = 23 + 10; // fits exactly
    EXPECT_EQ(FillParamList(list, 0, "s", L""), 1);
    EXPECT_EQ(ParamEntryAt(list, 0)->size, 10u);
}

TEST(ParamList, FormatParamRendersEachType)
{
    ListPtr any(BuildParamList(0, "*n", 4000000000u));
    EXPECT_EQ(Param(any.get(), 0), L"*");
    EXPECT_EQ(Param(any.get(), 1), L"4000000000");

    ListPtr text(BuildParamList(1, "ws", L"HKLM\\Run\\*", L"\x503c"));
    EXPECT_EQ(Param(text.get(), 0), L"HKLM\\Run\\*");
    EXPECT_EQ(Param(text.get(), 1), L"\x503c");
}

TEST(ParamList, FormatParamPastTheLastEntryWritesEmptyText)
{
    ListPtr list(BuildParamList(0, "s", L"abc"));
    wchar_t buffer[8] = L"xxxxxxx";
    EXPECT_EQ(FormatParam(list.get(), 1, buffer, 8), 0);
    EXPECT_STREQ(buffer, L"");
}

TEST(ParamList, FormatParamOfUnknownTypeSaysInvalid)
{
    ListPtr list(BuildParamList(0, "s", L"abc"));
    PARAM_ENTRY* entry = const_cast<PARAM_ENTRY*>(ParamEntryAt(list.get(), 0));
    entry->type = 5;
    EXPECT_EQ(Param(list.get(), 0), L"[Invalid param type]");
}

TEST(ParamList, FormatParamCutsToCapacity)
{
    ListPtr list(BuildParamList(0, "s", L"abcdef"));
    EXPECT_EQ(Param(list.get(), 0, 4), L"abc"); // three characters and the NUL
    EXPECT_EQ(Param(list.get(), 0, 1), L"");
    EXPECT_EQ(Param(list.get(), 0, 7), L"abcdef");
}

TEST(ParamList, FormatParamListRendersKindAndEntries)
{
    ListPtr reg(BuildParamList(OperationKind::SetRegistryValue, "ss", L"A", L"B"));
    wchar_t buffer[64];
    int n = FormatParamList(reg.get(), buffer, 64);
    EXPECT_STREQ(buffer, L"注册表访问 (A, B)");
    EXPECT_EQ(n, static_cast<int>(wcslen(buffer)) + 1);

    ListPtr file(BuildParamList(OperationKind::Execute, "p", L"C:\\a.exe"));
    FormatParamList(file.get(), buffer, 64);
    EXPECT_STREQ(buffer, L"运行程序 (C:\\a.exe)");

    ListPtr bad(BuildParamList(3, "*"));
    FormatParamList(bad.get(), buffer, 64);
    EXPECT_STREQ(buffer, L"[无效] (*)");
}

TEST(ParamList, FormatParamListCutsEveryPieceToTheRoomLeft)
{
    ListPtr reg(BuildParamList(OperationKind::SetRegistryValue, "ss", L"abcdef", L"B"));
    // "注册表访问 (abc" is 5 + 2 + 3 characters; capacity 11 leaves room for 10.
    wchar_t buffer[16];
    wmemset(buffer, L'#', 16);
    int n = FormatParamList(reg.get(), buffer, 11);
    EXPECT_STREQ(buffer, L"注册表访问 (abc");
    EXPECT_EQ(n, 11);
    EXPECT_EQ(buffer[11], L'#'); // nothing written past the capacity
}

TEST(ParamList, CopyAndCompare)
{
    ListPtr a(BuildParamList(1, "ws", L"K", L"V"));
    ListPtr copy(CopyParamList(a.get()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(BytesOf(a.get()), BytesOf(copy.get()));
    EXPECT_TRUE(ParamListEqual(a.get(), copy.get()));

    ListPtr otherKind(BuildParamList(0, "ws", L"K", L"V"));
    ListPtr otherType(BuildParamList(1, "ss", L"K", L"V"));
    ListPtr otherText(BuildParamList(1, "ws", L"K", L"v"));
    EXPECT_FALSE(ParamListEqual(a.get(), otherKind.get()));
    EXPECT_FALSE(ParamListEqual(a.get(), otherType.get()));
    EXPECT_FALSE(ParamListEqual(a.get(), otherText.get()));

    // The reader's lists are one byte shorter than built ones; equal all the same.
    copy->size -= 1;
    EXPECT_TRUE(ParamListEqual(a.get(), copy.get()));
}

TEST(ParamList, EntryOutsideTheListIsNotReturned)
{
    ListPtr list(BuildParamList(0, "s", L"abc"));
    list->offset[0] = 100;
    EXPECT_EQ(ParamEntryAt(list.get(), 0), nullptr);
    EXPECT_EQ(Param(list.get(), 0), L"[Invalid param type]");
}
