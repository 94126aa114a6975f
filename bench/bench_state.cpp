// Prints the driver's state page for the real-workload benchmark
// (scripts/bench-workloads.sh): "generation <n> matching <0|1> injected <n>",
// so that the benchmark can check that the guard matches with its rules
// while the guarded columns run, and count the operations the sensors asked
// the driver about. Exit code 1 when the page cannot be mapped.
#include "driver/common/InjectProtocol.h"
#include "driver/common/StateProtocol.h"

#include <windows.h>

#include <stdio.h>

int main()
{
    HANDLE device = CreateFileW(L"\\\\.\\Global\\Harrowmere", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    uint64_t address = 0;
    DWORD got = 0;
    if (device == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(device, IOCTL_WATCH_MAP_STATE, nullptr, 0, &address, sizeof(address), &got, nullptr) ||
        got != sizeof(address) || !address) {
        printf("no state page (error %lu)\n", GetLastError());
        return 1;
    }
    const volatile WATCH_STATE_PAGE* page =
        reinterpret_cast<const volatile WATCH_STATE_PAGE*>(static_cast<ULONG_PTR>(address));
    printf("generation %u matching %u injected %u\n", static_cast<unsigned>(page->generation),
           static_cast<unsigned>(page->matching), static_cast<unsigned>(page->injected));
    CloseHandle(device);
    return 0;
}
