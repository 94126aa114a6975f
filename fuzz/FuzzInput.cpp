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

} // namespace

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
