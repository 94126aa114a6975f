#include "log/ActivityLog.h"

#include "base/TextConv.h"
#include "rules/ParamList.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

namespace {

struct ParamListDeleter {
    void operator()(PARAM_LIST* list) const { FreeParamList(list); }
};
using ParamListPtr = std::unique_ptr<PARAM_LIST, ParamListDeleter>;

std::wstring ScratchFolder(const wchar_t* tag)
{
    static int counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"hm_log_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) +
                          L"_" + std::to_wstring(++counter);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << bytes;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class ActivityLogFile : public ::testing::Test {
protected:
    void SetUp() override { m_folder = ScratchFolder(L"t"); }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    std::wstring LogPath() const { return m_folder + L"\\Harrowmere.log"; }
    std::wstring m_folder;
};

int32_t AddPlain(CLogQueue& queue, int n)
{
    std::wstring text = L"rule " + std::to_wstring(n);
    return queue.Add(L"p.exe", static_cast<uint32_t>(n), 0, 1, text.c_str(), nullptr);
}

} // namespace

// --- queue -------------------------------------------------------------------

TEST(LogQueue, OldestRecordDroppedAfter129)
{
    CLogQueue queue;
    queue.Init();
    for (int i = 0; i < 129; ++i)
        ASSERT_EQ(i, AddPlain(queue, i));
    EXPECT_EQ(1, queue.DroppedCount());
    EXPECT_EQ(129, queue.NextSequence());

    EXPECT_EQ(nullptr, queue.Lock(0));
    queue.Unlock(0);
    LOG_RECORD* first = queue.Lock(1);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(1u, first->processId);
    EXPECT_STREQ(L"rule 1", first->ruleText);
    queue.Unlock(1);
    LOG_RECORD* last = queue.Lock(128);
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(128u, last->processId);
    queue.Unlock(128);
    EXPECT_EQ(nullptr, queue.Lock(129)); // not yet given
    EXPECT_EQ(nullptr, queue.Lock(-1));
}

TEST(LogQueue, PinnedHeadHoldsTheQueueUntilTheNextAppendAfterUnpinning)
{
    CLogQueue queue;
    queue.Init();
    for (int i = 0; i < 128; ++i)
        AddPlain(queue, i);
    LOG_RECORD* head = queue.Lock(0);
    ASSERT_NE(nullptr, head);
    ASSERT_EQ(head, queue.Lock(0)); // two readers
    AddPlain(queue, 128);
    AddPlain(queue, 129);
    EXPECT_EQ(0, queue.DroppedCount());
    EXPECT_EQ(130, queue.NextSequence() - queue.DroppedCount());
    EXPECT_STREQ(L"rule 0", head->ruleText); // still intact while pinned

    queue.Unlock(0);
    AddPlain(queue, 130);
    EXPECT_EQ(0, queue.DroppedCount()); // one reader still holds it
    queue.Unlock(0);
    EXPECT_EQ(0, queue.DroppedCount()); // unpinning alone does not trim

    AddPlain(queue, 131);
    EXPECT_EQ(4, queue.DroppedCount());
    EXPECT_EQ(nullptr, queue.Lock(3));
    queue.Unlock(3);
    LOG_RECORD* oldest = queue.Lock(4);
    ASSERT_NE(nullptr, oldest);
    EXPECT_STREQ(L"rule 4", oldest->ruleText);
    queue.Unlock(4);
}

TEST(LogQueue, ExtraUnlockDoesNotUnpinAnotherReader)
{
    CLogQueue queue;
    queue.Init();
    for (int i = 0; i < 128; ++i)
        AddPlain(queue, i);
    ASSERT_NE(nullptr, queue.Lock(0));
    queue.Unlock(0);
    queue.Unlock(0); // unbalanced: must not wrap the pin count
    AddPlain(queue, 128);
    EXPECT_EQ(1, queue.DroppedCount());
}

TEST(LogQueue, RecordHoldsCopiesOfEverything)
{
    CLogQueue queue;
    queue.Init();
    ParamListPtr list(BuildParamList(1, "ss", L"HKLM\\Software\\Run", L"evil"));
    ASSERT_TRUE(list);
    std::wstring rule = L"\u6ce8\u518c\u8868\u81ea\u542f\u52a8";
    std::wstring longName(40, L'n');
    SYSTEMTIME before;
    GetLocalTime(&before);
    int32_t seq = queue.Add(longName.c_str(), 4242, 2, 1, rule.c_str(), list.get());
    ASSERT_EQ(0, seq);
    uint32_t listSize = list->size;
    ParamListPtr copyOfOriginal(CopyParamList(list.get()));
    list.reset();
    rule.assign(rule.size(), L'x');

    LOG_RECORD* record = queue.Lock(seq);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(4242u, record->processId);
    EXPECT_EQ(std::wstring(31, L'n'), record->processName);
    EXPECT_EQ(2, record->verdict);
    EXPECT_EQ(1, record->logged);
    EXPECT_STREQ(L"\u6ce8\u518c\u8868\u81ea\u542f\u52a8", record->ruleText);
    EXPECT_EQ(before.wYear, record->time.wYear);
    ASSERT_NE(nullptr, record->params);
    EXPECT_EQ(listSize, record->params->size);
    EXPECT_TRUE(ParamListEqual(copyOfOriginal.get(), record->params));
    queue.Unlock(seq);

    int32_t bare = queue.Add(nullptr, 1, 0, 1, nullptr, nullptr);
    record = queue.Lock(bare);
    ASSERT_NE(nullptr, record);
    EXPECT_STREQ(L"", record->processName);
    EXPECT_STREQ(L"", record->ruleText);
    EXPECT_EQ(nullptr, record->params);
    queue.Unlock(bare);
}

TEST(LogQueue, ClosedQueueRefusesAndNumbersAreNotReused)
{
    CLogQueue queue;
    EXPECT_EQ(-1, AddPlain(queue, 0)); // before Init
    queue.Init();
    AddPlain(queue, 0);
    AddPlain(queue, 1);
    ASSERT_NE(nullptr, queue.Lock(1)); // pinned, still dropped by Close
    queue.Close();
    EXPECT_EQ(nullptr, queue.Lock(1));
    EXPECT_EQ(-1, AddPlain(queue, 2));
    EXPECT_EQ(2, queue.DroppedCount());

    queue.Init();
    EXPECT_EQ(2, AddPlain(queue, 2));
}

TEST(LogQueue, ReaderSeesConsistentRecordsWhileWriterAppends)
{
    CLogQueue queue;
    queue.Init();
    const int total = 3000;
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done) {
            int32_t newest = queue.NextSequence() - 1;
            for (int32_t seq = newest; seq >= 0 && seq > newest - 200; seq -= 37) {
                if (LOG_RECORD* r = queue.Lock(seq)) {
                    std::wstring expected = L"rule " + std::to_wstring(seq);
                    if (r->processId != static_cast<uint32_t>(seq) || expected != r->ruleText)
                        ++mismatches;
                    ++reads;
                }
                queue.Unlock(seq);
            }
        }
    });
    // Keep appending until the reader has had its share, so the two overlap.
    for (int i = 0; i < total || (reads < 200 && i < 100 * total); ++i) {
        AddPlain(queue, i);
        if (i % 64 == 0)
            std::this_thread::yield();
    }
    done = true;
    reader.join();
    EXPECT_EQ(0, mismatches.load());
    EXPECT_GT(reads.load(), 0);
    // The reader may have held the head at the end; with every pin released
    // the next append trims the queue back to its capacity.
    AddPlain(queue, queue.NextSequence());
    EXPECT_GE(queue.NextSequence(), total);
    EXPECT_EQ(queue.NextSequence() - CLogQueue::kCapacity, queue.DroppedCount());
}

// --- file --------------------------------------------------------------------

TEST(LogFile, LineStampIsUnpadded)
{
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 7;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 3;
    EXPECT_EQ(L"2026.3.7-9:5 text", CLogFile::FormatLine(t, L"text"));
    t.wMonth = 12;
    t.wDay = 31;
    t.wHour = 23;
    t.wMinute = 59;
    EXPECT_EQ(L"2026.12.31-23:59 ", CLogFile::FormatLine(t, nullptr));
}

TEST_F(ActivityLogFile, LinesAreUtf8WithoutMarkEndedByCrLfAndAppended)
{
    {
        CLogFile file;
        ASSERT_EQ(0, file.Open(m_folder));
        EXPECT_EQ(LogPath(), file.Path());
        file.WriteLine(L"\u62d2\u7edd one");
    }
    CLogFile again;
    ASSERT_EQ(0, again.Open(m_folder + L"\\"));
    again.WriteLine(L"two");
    again.Close();

    std::string bytes = ReadBytes(LogPath());
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_NE("\xEF\xBB\xBF", bytes.substr(0, 3));
    size_t firstEnd = bytes.find("\r\n");
    ASSERT_NE(std::string::npos, firstEnd);
    EXPECT_TRUE(EndsWith(bytes.substr(0, firstEnd), " \xE6\x8B\x92\xE7\xBB\x9D one")) << bytes;
    EXPECT_TRUE(EndsWith(bytes, " two\r\n")) << bytes;
    EXPECT_EQ(2, std::count(bytes.begin(), bytes.end(), '\n'));
}

TEST_F(ActivityLogFile, RotationAtExactlyOneMebibyte)
{
    const std::string full(1048576, 'x');
    WriteBytes(LogPath(), full);
    WriteBytes(LogPath() + L".old", "previous generation");
    CLogFile file;
    ASSERT_EQ(0, file.Open(m_folder));
    file.WriteLine(L"fresh");
    file.Close();

    std::string now = ReadBytes(LogPath());
    EXPECT_TRUE(EndsWith(now, " fresh\r\n"));
    EXPECT_LT(now.size(), 64u);
    EXPECT_EQ(full, ReadBytes(LogPath() + L".old")); // the first ".old" is gone
}

TEST_F(ActivityLogFile, NoRotationOneByteBelowTheLimit)
{
    WriteBytes(LogPath(), std::string(1048575, 'x'));
    CLogFile file;
    ASSERT_EQ(0, file.Open(m_folder));
    file.WriteLine(L"kept");
    file.WriteLine(L"rotated"); // the file is past the limit now
    file.Close();

    std::string old = ReadBytes(LogPath() + L".old");
    EXPECT_EQ(std::string(1048575, 'x'), old.substr(0, 1048575));
    EXPECT_TRUE(EndsWith(old, " kept\r\n"));
    EXPECT_EQ(1, std::count(old.begin(), old.end(), '\n'));
    std::string now = ReadBytes(LogPath());
    EXPECT_TRUE(EndsWith(now, " rotated\r\n"));
    EXPECT_EQ(std::string::npos, now.find("kept"));
}

TEST_F(ActivityLogFile, UnusableProgramFolderFallsBackToApplicationData)
{
    std::wstring missing = m_folder + L"\\no\\such\\folder";
    CLogFile file;
    ASSERT_EQ(0, file.Open(missing, m_folder.c_str()));
    std::wstring expected = m_folder + L"\\Harrowmere\\Harrowmere.log";
    EXPECT_EQ(expected, file.Path());
    file.WriteLine(L"elsewhere");
    file.Close();
    EXPECT_TRUE(EndsWith(ReadBytes(expected), " elsewhere\r\n"));

    // An existing "Harrowmere" folder is fine too.
    CLogFile second;
    EXPECT_EQ(0, second.Open(missing, m_folder.c_str()));
}

TEST_F(ActivityLogFile, NeitherPlaceOpenTurnsFileLoggingOff)
{
    std::wstring missing = m_folder + L"\\missing";
    CLogFile file;
    EXPECT_EQ(-2, file.Open(missing, (missing + L"\\appdata").c_str()));
    EXPECT_FALSE(file.IsOpen());
    file.WriteLine(L"dropped");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((missing + L"\\Harrowmere.log").c_str()));
}

TEST(LogFileDefault, RealApplicationDataFolderIsTheFallback)
{
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    std::wstring folder = std::wstring(appData) + L"\\Harrowmere";
    bool existed = GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::wstring path = folder + L"\\Harrowmere.log";
    bool fileExisted = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;

    CLogFile file;
    ASSERT_EQ(0, file.Open(L"Q:\\hm\\no\\such\\folder"));
    EXPECT_EQ(path, file.Path());
    file.Close();
    if (!fileExisted)
        DeleteFileW(path.c_str());
    if (!existed)
        RemoveDirectoryW(folder.c_str());
}

// --- the program's log -------------------------------------------------------

TEST_F(ActivityLogFile, AddLogRecordWritesTheLineAndQueuesTheRecord)
{
    ASSERT_EQ(0, OpenLogFile(m_folder.c_str()));
    InitLog();
    ParamListPtr reg(BuildParamList(1, "ss", L"A", L"B"));
    ParamListPtr file(BuildParamList(0, "s", L"C:\\x.txt"));
    int32_t first = LogNextSequence();

    int32_t feign = AddLogRecord(L"notepad.exe", 77, 1, 1, L"desc", reg.get());
    int32_t accept = AddLogRecord(L"\u8bb0\u4e8b.exe", 78, 0, 1, L"desc", file.get());
    int32_t reject = AddLogRecord(L"cmd.exe", 79, 2, 1, L"desc", file.get());
    EXPECT_EQ(-1, AddLogRecord(L"quiet.exe", 80, 2, 0, L"desc", file.get()));
    EXPECT_EQ(first, feign);
    EXPECT_EQ(first + 1, accept);
    EXPECT_EQ(first + 2, reject);
    EXPECT_EQ(first + 3, LogNextSequence());

    LOG_RECORD* record = LockLogRecord(accept);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(78u, record->processId);
    EXPECT_STREQ(L"\u8bb0\u4e8b.exe", record->processName);
    UnlockLogRecord(accept);

    CloseLogFile();
    CloseLog();
    EXPECT_EQ(nullptr, LockLogRecord(accept));
    UnlockLogRecord(accept);

    std::wstring text = Utf8ToWide(ReadBytes(LogPath()));
    EXPECT_NE(std::wstring::npos, text.find(L" notepad.exe \u6ce8\u518c\u8868\u8bbf\u95ee (A, B) -> \u62d2\u7edd\r\n"))
        << text;
    EXPECT_NE(std::wstring::npos, text.find(L" \u8bb0\u4e8b.exe \u6587\u4ef6\u64cd\u4f5c (C:\\x.txt) -> \u63a5\u53d7\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L" cmd.exe \u6587\u4ef6\u64cd\u4f5c (C:\\x.txt) -> \u62d2\u7edd\r\n"));
    EXPECT_EQ(std::wstring::npos, text.find(L"quiet.exe"));
}

TEST(ActivityLog, VerdictWordSurvivesAVeryLongParameter)
{
    std::wstring key(1024, L'k');
    std::wstring value(256, L'v');
    ParamListPtr list(BuildParamList(1, "ss", key.c_str(), value.c_str()));
    std::wstring text = FormatLogRecordText(L"reg.exe", 2, list.get());
    std::wstring tail = value + L") -> \u62d2\u7edd";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
    EXPECT_EQ(0u, text.find(L"reg.exe \u6ce8\u518c\u8868\u8bbf\u95ee (" + key + L", "));
}

TEST(ActivityLog, RecordWithoutParameterListIsStillLogged)
{
    std::wstring text = FormatLogRecordText(L"odd.exe", 0, nullptr);
    std::wstring tail = L" -> \u63a5\u53d7";
    EXPECT_EQ(0u, text.find(L"odd.exe "));
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
}
