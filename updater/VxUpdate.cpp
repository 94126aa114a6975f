// VxUpdate.exe, the updater: started by Harrowmere.exe with "-update" when a
// downloaded update waits. It has no window. Installing the downloaded files
// arrives with the online update; until then it recognises its command line
// and ends without touching any file.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 || wcscmp(argv[1], L"-update") != 0)
        return 2;
    return 0;
}
