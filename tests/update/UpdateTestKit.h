// Shared by the update and feed tests of all three kinds: the test HTTP
// servers that scripts/test.sh starts (static files under HM_HTTP_ROOT, slow,
// error and silent servers on 127.0.0.1), scratch folders, files, and
// manifests built from real bytes.
#pragma once

#include "update/Crc32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kit {

// Port of a test server ("STATIC", "SLOW", "ERROR", "SILENT"); 0 when the
// test script did not start it.
inline int Port(const char* server)
{
    const char* value = std::getenv((std::string("HM_HTTP_") + server + "_PORT").c_str());
    return value ? std::atoi(value) : 0;
}

inline bool ServersUp()
{
    return Port("STATIC") && Port("SLOW") && Port("ERROR") && Port("SILENT") && std::getenv("HM_HTTP_ROOT");
}

#define REQUIRE_TEST_SERVERS()                                                                                       \
    if (!kit::ServersUp())                                                                                           \
    FAIL() << "the test HTTP servers are not running: run the tests through scripts/test.sh"

// http://127.0.0.1:<port of server>/<path>
inline std::string Url(const char* server, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(Port(server)) + "/" + path;
}

// A file or folder path as wide text.
inline std::wstring W(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

inline bool WriteFile(const std::wstring& path, const std::string& bytes)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

// The file's bytes, or "<missing>".
inline std::string ReadFile(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

inline bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every file under `folder`, as paths relative to it with backslashes.
inline std::vector<std::wstring> FilesUnder(const std::wstring& folder)
{
    std::vector<std::wstring> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file())
            out.push_back(std::filesystem::relative(it->path(), folder).wstring());
    return out;
}

// Publishes bytes under the static server's root; returns its address.
inline std::string Publish(const std::string& relPath, const std::string& bytes)
{
    std::wstring path = W(std::getenv("HM_HTTP_ROOT")) + L"\\" + W(relPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    EXPECT_TRUE(WriteFile(path, bytes)) << relPath;
    return Url("STATIC", relPath);
}

// A fresh scratch folder (with a final backslash), removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* tag)
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        m_path = std::wstring(temp) + L"hm_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(++serial) + L"\\";
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& rel) const { return m_path + rel; }

private:
    std::wstring m_path;
};

// The settings file of a program folder, naming the update and feed addresses.
inline bool WriteConfig(const std::wstring& programFolder, const std::string& updateUrl, const std::string& feedUrl)
{
    return WriteFile(programFolder + L"Harrowmere.cfg", "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n"
                                                        "<Harrowmere>\n    <Update Url=\"" +
                                                            updateUrl + "\" />\n    <AD Url=\"" + feedUrl +
                                                            "\" />\n</Harrowmere>\n");
}

inline int32_t SignedCrc(const std::string& bytes)
{
    return static_cast<int32_t>(Crc32(bytes.data(), bytes.size()));
}

// A manifest entry for `bytes` (real size and CRC-32) fetched from `url`.
inline std::string Entry(const std::string& name, const std::string& localPath, const std::string& bytes,
                         const std::string& url, const char* element = "File")
{
    return std::string("<") + element + " Name=\"" + name + "\" LocalPath=\"" + localPath + "\" Size=\"" +
           std::to_string(bytes.size()) + "\" Crc=\"" + std::to_string(SignedCrc(bytes)) + "\" DownloadUrl=\"" + url +
           "\" />";
}

inline std::string Manifest(const std::vector<std::string>& entries)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Harrowmere_Update>\n<FileList>\n";
    for (const std::string& e : entries)
        xml += e + "\n";
    return xml + "</FileList>\n</Harrowmere_Update>\n";
}

// `bytes` with four bytes appended so that the whole has CRC-32 `target`
// (the CRC register is run backwards over the four bytes).
inline std::string WithCrc(std::string bytes, uint32_t target)
{
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    const uint32_t forward = ~Crc32(bytes.data(), bytes.size());
    uint32_t back = ~target;
    for (int step = 0; step < 4; ++step) {
        uint32_t index = 0;
        while ((table[index] >> 24) != (back >> 24))
            ++index;
        back = ((back ^ table[index]) << 8) | index;
    }
    const uint32_t patch = back ^ forward;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((patch >> (8 * i)) & 0xFF));
    EXPECT_EQ(target, Crc32(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace kit
