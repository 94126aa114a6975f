#include "log/LogFile.h"

#include "base/PathString.h"
#include "base/TextConv.h"

#include <shlobj.h>

namespace {

const wchar_t kLogFileName[] = L"Harrowmere.log";
const wchar_t kAppDataFolderName[] = L"Harrowmere";
const wchar_t kOldSuffix[] = L".old";

} // namespace

std::wstring CLogFile::FormatLine(const SYSTEMTIME& time, const wchar_t* text)
{
    wchar_t stamp[64];
    wsprintfW(stamp, L"%d.%d.%d-%d:%d ", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
    return std::wstring(stamp) + (text ? text : L"");
}

bool CLogFile::OpenPathLocked(const std::wstring& path)
{
    // Append-only access: every write lands at the end, as with "ab".
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    m_file.Reset(file);
    m_path = path;
    return true;
}

LogFileResult CLogFile::Open(const std::wstring& programFolder, const wchar_t* appDataFolder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_file.Close();
    m_path.clear();

    if (!programFolder.empty() && OpenPathLocked(CPathString::Combine(programFolder, kLogFileName).str()))
        return LOG_FILE_OPEN;

    std::wstring appData;
    if (appDataFolder) {
        appData = appDataFolder;
    } else {
        wchar_t folder[MAX_PATH] = {};
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder)))
            return LOG_FILE_UNAVAILABLE;
        appData = folder;
    }
    if (appData.empty())
        return LOG_FILE_UNAVAILABLE;
    CPathString folder(appData);
    folder.Append(kAppDataFolderName);
    CreateDirectoryW(folder.c_str(), nullptr); // an existing folder is fine
    return OpenPathLocked(CPathString::Combine(folder, kLogFileName).str()) ? LOG_FILE_OPEN : LOG_FILE_UNAVAILABLE;
}

void CLogFile::RotateLocked()
{
    m_file.Close();
    // One generation of old lines: the previous ".old" file goes.
    std::wstring old = m_path + kOldSuffix;
    DeleteFileW(old.c_str());
    MoveFileW(m_path.c_str(), old.c_str());
    OpenPathLocked(m_path);
}

void CLogFile::WriteLine(const wchar_t* text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::wstring line = FormatLine(now, text);

    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_file)
        return;
    LARGE_INTEGER size = {};
    if (line.size() > 5 && GetFileSizeEx(m_file.Get(), &size) && static_cast<uint64_t>(size.QuadPart) >= kRotateSize) {
        RotateLocked();
        if (!m_file)
            return;
    }
    std::string bytes = WideToUtf8(line);
    bytes += "\r\n";
    DWORD written = 0;
    WriteFile(m_file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void CLogFile::Close()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_file.Close();
}

bool CLogFile::IsOpen() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_file.Valid();
}

std::wstring CLogFile::Path() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_path;
}
