// Shared by the update and feed tests of all three kinds: the test HTTP
// servers that scripts/test.sh starts (static files under HM_HTTP_ROOT, slow,
// error and silent servers on 127.0.0.1), scratch folders and files, and
// manifests built from real bytes.
#pragma once

#include "update/Crc32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kit {

namespace fs = std::filesystem;

// Port of a test server ("STATIC", "SLOW", "ERROR", "SILENT"); 0 when absent.
inline int Port(const char* server)
{
    const char* value = std::getenv((std::string("HM_HTTP_") + server + "_PORT").c_str());
    return value ? std::atoi(value) : 0;
}

#define REQUIRE_TEST_SERVERS()                                                                                       \
    if (!kit::Port("STATIC") || !kit::Port("SLOW") || !kit::Port("ERROR") || !kit::Port("SILENT"))                   \
    FAIL() << "the test HTTP servers are not running: run the tests through scripts/test.sh"

inline std::string Url(const char* server, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(Port(server)) + "/" + path;
}

inline std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

inline bool WriteFile(const fs::path& path, const std::string& bytes)
{
    std::error_code ignored;
    fs::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

// The file's bytes, or "<missing>".
inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

inline bool Exists(const fs::path& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file under `folder`, relative to it, sorted.
inline std::vector<std::wstring> FilesUnder(const fs::path& folder)
{
    std::vector<std::wstring> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file())
            out.push_back(fs::relative(it->path(), folder).wstring());
    std::sort(out.begin(), out.end());
    return out;
}

// Publishes bytes under the static server's root; returns their address.
inline std::string Publish(const std::string& relPath, const std::string& bytes)
{
    EXPECT_TRUE(WriteFile(fs::path(std::getenv("HM_HTTP_ROOT")) / relPath, bytes)) << relPath;
    return Url("STATIC", relPath);
}

// A fresh scratch folder (path with a final backslash), removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* tag)
    {
        static int serial = 0;
        m_path = (fs::temp_directory_path() / (std::wstring(L"hm_") + tag + L"_" +
                                               std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial)))
                     .wstring() + L"\\";
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& rel) const { return m_path + rel; }

private:
    std::wstring m_path;
};

// The settings file of a program folder, naming the update and feed addresses.
inline bool WriteConfig(const std::wstring& programFolder, const std::string& updateUrl, const std::string& feedUrl)
{
    return WriteFile(programFolder + L"Harrowmere.cfg", "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Harrowmere>"
                                                        "<Update Url=\"" + updateUrl + "\" /><AD Url=\"" + feedUrl +
                                                            "\" /></Harrowmere>\n");
}

inline int32_t SignedCrc(const std::string& bytes) { return static_cast<int32_t>(Crc32(bytes.data(), bytes.size())); }

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
    std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Harrowmere_Update><FileList>\n";
    for (const std::string& e : entries)
        xml += e + "\n";
    return xml + "</FileList></Harrowmere_Update>\n";
}

// `bytes` with four bytes appended so that the whole has CRC-32 `target`:
// the CRC register is run backwards over the four bytes.
inline std::string WithCrc(std::string bytes, uint32_t target)
{
    auto table = [](uint8_t i) { return ~Crc32(&i, 1, 0xFFFFFFFFu); }; // the reflected table entry
    uint32_t back = ~target;
    for (int step = 0; step < 4; ++step) {
        uint32_t index = 0;
        while ((table(static_cast<uint8_t>(index)) >> 24) != (back >> 24))
            ++index;
        back = ((back ^ table(static_cast<uint8_t>(index))) << 8) | index;
    }
    const uint32_t patch = back ^ ~Crc32(bytes.data(), bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((patch >> (8 * i)) & 0xFF));
    EXPECT_EQ(target, Crc32(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace kit
