// Shared by the update and feed tests of all three kinds: the test HTTP
// servers that scripts/test.sh starts (static files under HM_HTTP_ROOT, slow,
// error and silent servers on 127.0.0.1), scratch folders and files,
// manifests built from real bytes, and signatures made with the build
// folder's throwaway keys (build/<arch>/keys: "dev", which the test programs
// trust, and "other", which nothing trusts).
#pragma once

#include "net/Signature.h"
#include "update/Crc32.h"
#include "update/ManifestFormat.h"

#include <sodium.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// A manifest entry for `bytes` (real size, CRC-32 and SHA-256) fetched from
// `url`.
inline std::string Entry(const std::string& name, const std::string& localPath, const std::string& bytes,
                         const std::string& url, const char* element = "File")
{
    return std::string("<") + element + " Name=\"" + name + "\" LocalPath=\"" + localPath + "\" Size=\"" +
           std::to_string(bytes.size()) + "\" Crc=\"" + std::to_string(SignedCrc(bytes)) + "\" Sha256=\"" +
           Sha256Hex(bytes.data(), bytes.size()) + "\" DownloadUrl=\"" + url + "\" />";
}

// A serial above every one used before, also by earlier runs of the tests
// in the same prefix (the guard keeps the last one it accepted).
inline uint64_t NextSerial()
{
    static uint64_t serial = static_cast<uint64_t>(std::time(nullptr)) * 1000;
    return ++serial;
}

// What the "Harrowmere_Update" element says about a manifest.
struct Header {
    uint64_t serial = NextSerial();
    std::string expires = "2099-12-31";
    std::string arch = ProgramArch();
};

inline std::string Manifest(const std::vector<std::string>& entries, const Header& header = Header())
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Harrowmere_Update Serial=\"" +
                      std::to_string(header.serial) + "\" Expires=\"" + header.expires + "\" Arch=\"" + header.arch +
                      "\"><FileList>\n";
    for (const std::string& e : entries)
        xml += e + "\n";
    return xml + "</FileList></Harrowmere_Update>\n";
}

// A secret key of the build folder, as minisign writes it without a
// password: the key id at byte 54 and the libsodium secret key at byte 62
// of the decoded second line.
struct SecretKey {
    uint8_t id[8] = {};
    uint8_t key[crypto_sign_SECRETKEYBYTES] = {};
};

inline std::wstring TestFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path().wstring() + L"\\";
}

inline SecretKey LoadSecretKey(const char* name)
{
    SecretKey secret;
    std::ifstream in(fs::path(TestFolder() + L"..\\keys\\" + W(name) + L".key"));
    std::string comment, line;
    EXPECT_TRUE(std::getline(in, comment) && std::getline(in, line)) << "the build folder's key " << name;
    uint8_t bytes[158];
    size_t length = 0;
    EXPECT_EQ(0, sodium_base642bin(bytes, sizeof(bytes), line.data(), line.size(), nullptr, &length, nullptr,
                                   sodium_base64_VARIANT_ORIGINAL));
    EXPECT_EQ(sizeof(bytes), length);
    EXPECT_EQ(0, bytes[2] | bytes[3]) << "a key without a password";
    std::memcpy(secret.id, bytes + 54, sizeof(secret.id));
    std::memcpy(secret.key, bytes + 62, sizeof(secret.key));
    return secret;
}

inline std::string Base64(const uint8_t* bytes, size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&text[0], text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// How a signature is made: by which key, in which form, and what is done to
// it afterwards (the hostile cases).
struct SignWith {
    const char* key = "dev";
    bool legacy = false;                       // sign the data itself ("Ed")
    const char* comment = "timestamp:1700000000";
    const char* spliceKey = nullptr;           // write this key's id into the signature
    const char* editComment = nullptr;         // replace the trusted comment after signing
};

// A detached signature of `data` in the text form of net/Signature.h.
inline std::string Sign(const std::string& data, const SignWith& how = SignWith())
{
    const SecretKey secret = LoadSecretKey(how.key);
    uint8_t signature[2 + 8 + crypto_sign_BYTES] = { 'E', static_cast<uint8_t>(how.legacy ? 'd' : 'D') };
    std::memcpy(signature + 2, how.spliceKey ? LoadSecretKey(how.spliceKey).id : secret.id, 8);
    if (how.legacy) {
        crypto_sign_detached(signature + 10, nullptr, reinterpret_cast<const unsigned char*>(data.data()),
                             data.size(), secret.key);
    } else {
        uint8_t digest[crypto_generichash_BYTES_MAX];
        crypto_generichash(digest, sizeof(digest), reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                           nullptr, 0);
        crypto_sign_detached(signature + 10, nullptr, digest, sizeof(digest), secret.key);
    }
    std::string global(reinterpret_cast<const char*>(signature + 10), crypto_sign_BYTES);
    global += how.comment;
    uint8_t globalSignature[crypto_sign_BYTES];
    crypto_sign_detached(globalSignature, nullptr, reinterpret_cast<const unsigned char*>(global.data()),
                         global.size(), secret.key);
    return std::string("untrusted comment: signature from a test key\n") + Base64(signature, sizeof(signature)) +
           "\ntrusted comment: " + (how.editComment ? how.editComment : how.comment) + "\n" +
           Base64(globalSignature, sizeof(globalSignature)) + "\n";
}

// Writes `bytes` and their signature beside them (`path` + ".minisig").
inline bool WriteSigned(const fs::path& path, const std::string& bytes, const SignWith& how = SignWith())
{
    return WriteFile(path, bytes) && WriteFile(path.wstring() + L".minisig", Sign(bytes, how));
}

// Publishes `bytes` and their signature; returns the address of the bytes.
inline std::string PublishSigned(const std::string& relPath, const std::string& bytes, const SignWith& how = SignWith())
{
    Publish(relPath + ".minisig", Sign(bytes, how));
    return Publish(relPath, bytes);
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
