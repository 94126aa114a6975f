// The activity log file "Harrowmere.log": one time-stamped UTF-8 line per
// logged decision, moved aside to "Harrowmere.log.old" when it reaches 1 MiB.
// The lock serialises writers, a rotation in the middle of a write included.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

// Results of opening the log file (the codes are fixed; -1, a file object
// that cannot be made, does not occur).
enum LogFileResult : int { LOG_FILE_OPEN = 0, LOG_FILE_UNAVAILABLE = -2 };

class CLogFile {
public:
    static const uint64_t kRotateSize = 1048576;

    CLogFile() = default;
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens "Harrowmere.log" in programFolder for appending; when that fails,
    // in the folder "Harrowmere" (created when missing) of appDataFolder, or
    // of the user's application-data folder when appDataFolder is null.
    // LOG_FILE_UNAVAILABLE when neither place can be opened (later writes
    // do nothing).
    LogFileResult Open(const std::wstring& programFolder, const wchar_t* appDataFolder = nullptr);
    // Appends "%d.%d.%d-%d:%d <text>" with the current local time and CR LF,
    // rotating first when the file has reached kRotateSize.
    void WriteLine(const wchar_t* text);
    void Close();

    bool IsOpen() const;
    // The path of the file in use (empty when none was opened).
    std::wstring Path() const;

    // The line without its CR LF: year.month.day-hour:minute, unpadded.
    static std::wstring FormatLine(const SYSTEMTIME& time, const wchar_t* text);

private:
    bool OpenPathLocked(const std::wstring& path);
    void RotateLocked();

    mutable std::mutex m_lock;
    ui::CHandle m_file;
    std::wstring m_path;
};
