#include "base/DirectoryPath.h"

#include <windows.h>

#include <string>

namespace {

const size_t kMaxPathChars = 260; // the path and its NUL must fit
const int kMaxAttempts = 10;

} // namespace

int CreateDirectoryPath(const wchar_t* path)
{
    if (!path)
        return 0;
    const std::wstring full(path);
    if (full.size() >= kMaxPathChars)
        return 0;

    // The working prefix is full[0, prefix). On a missing parent it is cut at
    // its last backslash; once a level exists it grows by one component.
    size_t prefix = full.size();
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        const std::wstring current = full.substr(0, prefix);
        if (!CreateDirectoryW(current.c_str(), nullptr)) {
            DWORD error = GetLastError();
            if (error == ERROR_PATH_NOT_FOUND) {
                size_t cut = current.rfind(L'\\');
                if (cut == std::wstring::npos)
                    return 0;
                prefix = cut;
                continue;
            }
            if (error != ERROR_ALREADY_EXISTS)
                return 0;
            // A file of that name is not the folder asked for.
            DWORD attributes = GetFileAttributesW(current.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return 0;
        }
        if (prefix == full.size())
            return 1;
        size_t next = full.find(L'\\', prefix + 1);
        prefix = next == std::wstring::npos ? full.size() : next;
    }
    return 0;
}
