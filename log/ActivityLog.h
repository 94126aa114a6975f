// The activity log of the running program: every logged decision becomes a
// record in the process-wide log queue (read by the log page and the
// monitoring balloon through LockLogRecord/UnlockLogRecord) and a line in the
// log file. The request thread adds; the main thread opens, reads and closes.
#pragma once

#include "log/LogFile.h"
#include "log/LogQueue.h"

#include <cstdint>
#include <string>

// Makes the log queue accept records.
void InitLog();
// Drops every record, pinned or not; at shut-down.
void CloseLog();

// Writes the record's line to the log file and queues the record. Returns its
// sequence number; -1 when logged is 0 (nothing written) or when memory runs
// out (the line is written, nothing is queued). `answeredBy`, when not empty,
// follows the verdict word of the line after a blank (who answered).
int32_t AddLogRecord(const wchar_t* processName, uint32_t processId, uint16_t verdict, uint16_t logged,
                     const wchar_t* ruleText, const PARAM_LIST* params, const wchar_t* answeredBy = nullptr);

// The record, pinned, or null when it is no longer (or not yet) queued. A
// reader locks, reads and unlocks with the same number, also after a null.
LOG_RECORD* LockLogRecord(int32_t sequence);
// Unpins the record when it is queued.
void UnlockLogRecord(int32_t sequence);

// The oldest kept sequence number (records dropped so far) and the number the
// next record will get; a reader may list every number in between.
int32_t LogDroppedCount();
int32_t LogNextSequence();

// Opens "Harrowmere.log" in the program folder, or in "Harrowmere" under the
// application-data folder when that fails. Null arguments mean the real
// folders. File logging is off when neither place can be opened; the queue
// still works.
LogFileResult OpenLogFile(const wchar_t* programFolder = nullptr, const wchar_t* appDataFolder = nullptr);
// Time-stamps and appends one line (nothing when no file is open).
void WriteLogLine(const wchar_t* text);
// Closes the log file; at shut-down.
void CloseLogFile();
// The path of the open log file (empty when none).
std::wstring LogFilePath();

// "<process> <parameter list> -> <verdict word>", the text of a record's line.
std::wstring FormatLogRecordText(const wchar_t* processName, uint16_t verdict, const PARAM_LIST* params);
// The word for a verdict as the log shows it: the string-table texts for
// accept (verdict 0) and reject (any other verdict, Feign included).
std::wstring VerdictText(uint16_t verdict);
