// The crash reporter: the filter runs the program's callback first, then
// writes the dump and the text report; a refusing callback skips the report.
#include "base/CrashReport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_calls = 0;
void* g_state = nullptr;
BOOL g_answer = TRUE;

BOOL CALLBACK Callback(void* state)
{
    ++g_calls;
    g_state = state;
    return g_answer;
}

bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

TEST(CrashReport, FilterRunsTheCallbackAndWritesTheReport)
{
    void* handle = CrashReport::Install(Callback, L"support@example.invalid", L"Crash Report");
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(nullptr, CrashReport::Install(Callback, L"x", L"y")) << "one reporter per process";

    // The installed filter is what the system would call on a crash.
    LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(filter);
    ASSERT_NE(nullptr, filter);

    wchar_t dump[MAX_PATH], text[MAX_PATH];
    CrashReport::ReportPaths(dump, text, MAX_PATH);
    DeleteFileW(dump);
    DeleteFileW(text);

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_POINTERS pointers = { &record, &context };
    g_calls = 0;
    EXPECT_EQ(EXCEPTION_EXECUTE_HANDLER, filter(&pointers));
    EXPECT_EQ(1, g_calls);
    EXPECT_EQ(&pointers, g_state);
    EXPECT_TRUE(Exists(dump));
    ASSERT_TRUE(Exists(text));

    HANDLE h = CreateFileW(text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buf[1024] = {};
    DWORD got = 0;
    ReadFile(h, buf, sizeof(buf) - 1, &got, nullptr);
    CloseHandle(h);
    std::string report(buf, got);
    EXPECT_NE(std::string::npos, report.find("Subject: Crash Report"));
    EXPECT_NE(std::string::npos, report.find("0xC0000005"));

    CrashReport::Uninstall(handle);
    EXPECT_NE(filter, SetUnhandledExceptionFilter(nullptr)) << "Uninstall restores the previous filter";
    DeleteFileW(dump);
    DeleteFileW(text);
}

TEST(CrashReport, RefusingCallbackSkipsTheReport)
{
    void* handle = CrashReport::Install(Callback, L"a", L"b");
    ASSERT_NE(nullptr, handle);
    LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(filter);
    wchar_t dump[MAX_PATH], text[MAX_PATH];
    CrashReport::ReportPaths(dump, text, MAX_PATH);
    DeleteFileW(dump);
    g_answer = FALSE;
    g_calls = 0;
    EXCEPTION_RECORD record = {};
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = { &record, &context };
    filter(&pointers);
    g_answer = TRUE;
    EXPECT_EQ(1, g_calls);
    EXPECT_FALSE(Exists(dump));
    CrashReport::Uninstall(handle);
    CrashReport::Uninstall(handle); // a second uninstall does nothing
}

} // namespace
