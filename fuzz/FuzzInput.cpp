#include "fuzz/FuzzInput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <set>

namespace fuzz {
namespace {

// Kept for the whole process (never destroyed): the exit handler reads them.
std::set<std::string>& Created()
{
    static auto* files = new std::set<std::string>;
    return *files;
}

void RemoveScratch();

const std::string& Folder()
{
    static const std::string& folder = *new std::string([] {
        const char* tmp = getenv("TMPDIR");
        std::string f = std::string(tmp && *tmp ? tmp : "/tmp") + "/hm-fuzz-" + std::to_string(getpid());
        FUZZ_CHECK(mkdir(f.c_str(), 0700) == 0 || access(f.c_str(), W_OK) == 0);
        atexit(RemoveScratch);
        return f;
    }());
    return folder;
}

void RemoveScratch()
{
    for (const std::string& file : Created()) {
        unlink(file.c_str());
        unlink((file + ".tmp").c_str());
    }
    rmdir(Folder().c_str());
}

std::string NarrowPath(const char* name)
{
    std::string path = Folder() + "/" + name;
    Created().insert(path);
    return path;
}

bool IsDevicePart(const std::wstring& part)
{
    std::wstring stem = part.substr(0, part.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (wchar_t& c : stem)
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - L'a' + L'A');
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0))
        return false;
    // Superscript one to three count as digits here too.
    wchar_t d = stem[3];
    return (d >= L'1' && d <= L'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

} // namespace

std::wstring Widen(const std::string& bytes)
{
    std::wstring out;
    for (unsigned char b : bytes)
        out.push_back(wchar_t(b));
    return out;
}

bool JoinsInside(const std::wstring& folder, const std::wstring& name)
{
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\')
        path.push_back(L'\\');
    path += name;
    for (size_t start = 0;;) {
        size_t end = path.find_first_of(L"\\/", start);
        std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        while (!part.empty() && (part.back() == L'.' || part.back() == L' '))
            part.pop_back();
        if (part.empty() || part.find(L':') != std::wstring::npos || IsDevicePart(part))
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}

std::wstring ScratchPath(const char* name)
{
    std::string narrow = NarrowPath(name);
    return std::wstring(narrow.begin(), narrow.end());
}

std::wstring ScratchFile(const char* name, const uint8_t* data, size_t size)
{
    std::string path = NarrowPath(name);
    FILE* file = fopen(path.c_str(), "wb");
    FUZZ_CHECK(file);
    FUZZ_CHECK(size == 0 || fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(fclose(file) == 0);
    return std::wstring(path.begin(), path.end());
}

} // namespace fuzz
