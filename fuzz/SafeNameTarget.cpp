// Fuzz target: the tests that keep network-supplied names inside their
// folder. The input is UTF-16LE: a folder, a NUL, then a file name. Whatever
// the two tests accept joins to a path that stays inside the base folder, and
// a plain file name is also a relative folder of one part.
#include "fuzz/FuzzInput.h"
#include "net/SafeName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring folder, name;
    std::wstring* into = &folder;
    for (size_t i = 0; i + 1 < size && folder.size() + name.size() < 600; i += 2) {
        wchar_t c = wchar_t(data[i] | data[i + 1] << 8);
        if (c == 0 && into == &folder) {
            into = &name;
            continue;
        }
        into->push_back(c);
    }
    bool plain = IsPlainFileName(name);
    bool relative = IsRelativeFolder(folder);
    if (plain)
        FUZZ_CHECK(IsRelativeFolder(name) && IsRelativeFolder(name + L"\\"));
    if (plain && relative)
        FUZZ_CHECK(fuzz::JoinsInside(folder, name));
    return 0;
}
