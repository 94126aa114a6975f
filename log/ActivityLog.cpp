#include "log/ActivityLog.h"

#include "base/PathString.h"
#include "base/Strings.h"
#include "driver/common/WatchProtocol.h"
#include "res/resource.h"

#include <windows.h>

namespace {

CLogQueue& Queue()
{
    static CLogQueue queue;
    return queue;
}

CLogFile& File()
{
    static CLogFile file;
    return file;
}

} // namespace

void InitLog()
{
    Queue().Init();
}

void CloseLog()
{
    Queue().Close();
}

std::wstring VerdictText(uint16_t verdict)
{
    return ui::LoadStr(verdict == WATCH_VERDICT_ACCEPT ? IDS_VERDICT_ACCEPT : IDS_VERDICT_REJECT);
}

std::wstring FormatLogRecordText(const wchar_t* processName, uint16_t verdict, const PARAM_LIST* params)
{
    // Room for every parameter in full (an entry's text never has more
    // characters than its size in bytes, a number at most 10 digits) so the
    // verdict word at the end is never cut off.
    size_t capacity = (params && params->size >= sizeof(PARAM_LIST) ? params->size : 0) + 64;
    std::wstring list(capacity, L'\0');
    int written = FormatParamList(params, &list[0], static_cast<int>(capacity));
    list.resize(written > 0 ? static_cast<size_t>(written - 1) : 0);

    std::wstring text(processName ? processName : L"");
    text += L' ';
    text += list;
    text += L" -> ";
    text += VerdictText(verdict);
    return text;
}

int32_t AddLogRecord(const wchar_t* processName, uint32_t processId, uint16_t verdict, uint16_t logged,
                     const wchar_t* ruleText, const PARAM_LIST* params, const wchar_t* answeredBy)
{
    if (logged == 0)
        return -1;
    std::wstring line = FormatLogRecordText(processName, verdict, params);
    if (answeredBy && *answeredBy)
        line.append(L" ").append(answeredBy);
    WriteLogLine(line.c_str());
    return Queue().Add(processName, processId, verdict, logged, ruleText, params);
}

LOG_RECORD* LockLogRecord(int32_t sequence)
{
    return Queue().Lock(sequence);
}

void UnlockLogRecord(int32_t sequence)
{
    Queue().Unlock(sequence);
}

int32_t LogDroppedCount()
{
    return Queue().DroppedCount();
}

int32_t LogNextSequence()
{
    return Queue().NextSequence();
}

LogFileResult OpenLogFile(const wchar_t* programFolder, const wchar_t* appDataFolder)
{
    const std::wstring folder = programFolder ? std::wstring(programFolder) : CPathString::ProgramFolder();
    return File().Open(folder, appDataFolder);
}

void WriteLogLine(const wchar_t* text)
{
    File().WriteLine(text);
}

void CloseLogFile()
{
    File().Close();
}

std::wstring LogFilePath()
{
    return File().Path();
}
