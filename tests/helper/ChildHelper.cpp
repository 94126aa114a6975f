// A child process for the inspection tests and benchmark: it holds a file
// open, or sleeps, or starts a sleeping child of its own, signals a named
// event when it is ready, and stays until it is ended.
//   hm_child_helper hold <file> <event>     opens the file, then waits
//   hm_child_helper sleep <event>           waits
//   hm_child_helper parent <event>          starts "sleep" as its child, then waits
//   hm_child_helper orphan <event>          starts "sleep" as its child, then ends
// The child of "parent" and "orphan" signals the same event.
#include <windows.h>

#include <string>

namespace {

void Signal(const wchar_t* name)
{
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}

bool StartSleeper(const wchar_t* event)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + self + L"\" sleep " + event;
    STARTUPINFOW si = { sizeof(si) };
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    std::wstring mode = argv[1];
    if (mode == L"hold" && argc >= 4) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        Signal(argv[3]);
    } else if (mode == L"sleep") {
        Signal(argv[2]);
    } else if (mode == L"parent" || mode == L"orphan") {
        if (!StartSleeper(argv[2]))
            return 1;
        if (mode == L"orphan")
            return 0;
    } else {
        return 2;
    }
    Sleep(INFINITE); // not a wait of a test: the helper lives until the test ends it
    return 0;
}
