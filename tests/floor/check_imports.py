#!/usr/bin/env python3
"""Lists what each shipped executable imports and fails on a function that
its architecture's platform floor lacks: Windows XP SP3 (5.1) for i686,
64-bit Windows Vista (6.0) for x86_64. A function newer than the floor must
be bound by name at run time with a fallback (base/LateBound.h).

usage: check_imports.py --objdump ARCH=OBJDUMP... STAGE_DIR=ARCH...
"""
import re
import subprocess
import sys

FLOORS = {"i686": (5, 1), "x86_64": (6, 0)}
FLOOR_NAMES = {(5, 1): "Windows XP SP3", (6, 0): "Windows Vista"}
EXECUTABLES = ("Harrowmere.exe", "VxUpdate.exe", "WatchSim.exe")

VISTA, WIN7, WIN8, WIN81, WIN10 = (6, 0), (6, 1), (6, 2), (6, 3), (10, 0)

# Known functions of later Windows versions, by module (lower case) and the
# version that brought them. Functions of the floor's own service packs are
# not listed.
LATER = {
    "kernel32.dll": {
        VISTA: """GetTickCount64 QueryFullProcessImageNameA QueryFullProcessImageNameW GetThreadId
            GetProcessIdOfThread CompareStringOrdinal CompareStringEx LCMapStringEx GetLocaleInfoEx
            GetUserDefaultLocaleName GetSystemDefaultLocaleName LocaleNameToLCID LCIDToLocaleName
            GetUserPreferredUILanguages InitializeConditionVariable SleepConditionVariableCS
            SleepConditionVariableSRW WakeConditionVariable WakeAllConditionVariable InitializeSRWLock
            AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive ReleaseSRWLockShared
            InitOnceInitialize InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
            InitializeCriticalSectionEx CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW
            CreateSemaphoreExA CreateSemaphoreExW CreateWaitableTimerExW GetFinalPathNameByHandleA
            GetFinalPathNameByHandleW CancelIoEx CancelSynchronousIo GetFileInformationByHandleEx
            SetFileInformationByHandle CreateSymbolicLinkA CreateSymbolicLinkW FlsAlloc FlsFree
            FlsGetValue FlsSetValue GetCurrentProcessorNumber GetErrorMode GetNamedPipeClientProcessId
            GetNamedPipeServerProcessId QueryThreadCycleTime QueryProcessCycleTime
            GetQueuedCompletionStatusEx SetFileCompletionNotificationModes
            InitializeProcThreadAttributeList UpdateProcThreadAttribute DeleteProcThreadAttributeList
            CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork WaitForThreadpoolWorkCallbacks
            CreateThreadpoolTimer SetThreadpoolTimer CloseThreadpoolTimer CreateThreadpoolWait
            SetThreadpoolWait CloseThreadpoolWait RegisterApplicationRestart GetDynamicTimeZoneInformation
            GetProductInfo SetThreadStackGuarantee Wow64DisableWow64FsRedirection
            Wow64RevertWow64FsRedirection""",
        WIN7: """TryAcquireSRWLockExclusive TryAcquireSRWLockShared GetActiveProcessorCount
            GetMaximumProcessorCount GetLogicalProcessorInformationEx GetCurrentProcessorNumberEx
            SetThreadGroupAffinity GetThreadGroupAffinity QueryUnbiasedInterruptTime CreateRemoteThreadEx
            SetWaitableTimerEx PowerCreateRequest PowerSetRequest PowerClearRequest ResolveLocaleName
            RaiseFailFastException""",
        WIN8: """GetSystemTimePreciseAsFileTime CreateFile2 GetCurrentThreadStackLimits
            InitializeSynchronizationBarrier EnterSynchronizationBarrier DeleteSynchronizationBarrier
            GetProcessMitigationPolicy SetProcessMitigationPolicy PrefetchVirtualMemory
            GetOverlappedResultEx GetFirmwareType AddDllDirectory RemoveDllDirectory
            SetDefaultDllDirectories""",
        WIN10: "SetThreadDescription GetThreadDescription",
    },
    "user32.dll": {
        VISTA: """ChangeWindowMessageFilter SetProcessDPIAware IsProcessDPIAware
            RegisterPowerSettingNotification UnregisterPowerSettingNotification ShutdownBlockReasonCreate
            ShutdownBlockReasonDestroy ShutdownBlockReasonQuery AddClipboardFormatListener
            RemoveClipboardFormatListener GetUpdatedClipboardFormats LogicalToPhysicalPoint
            PhysicalToLogicalPoint WindowFromPhysicalPoint""",
        WIN7: """ChangeWindowMessageFilterEx RegisterTouchWindow UnregisterTouchWindow GetTouchInputInfo
            CloseTouchInputHandle GetGestureInfo SetGestureConfig CalculatePopupWindowPosition
            SetWindowDisplayAffinity GetWindowDisplayAffinity SetDisplayConfig QueryDisplayConfig
            GetDisplayConfigBufferSizes""",
        WIN10: """GetDpiForWindow GetDpiForSystem SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext
            AdjustWindowRectExForDpi SystemParametersInfoForDpi GetSystemMetricsForDpi
            EnableNonClientDpiScaling""",
    },
    "advapi32.dll": {
        VISTA: """RegGetValueA RegGetValueW RegSetKeyValueA RegSetKeyValueW RegDeleteKeyExA RegDeleteKeyExW
            RegDeleteTreeA RegDeleteTreeW RegCopyTreeA RegCopyTreeW RegLoadMUIStringA RegLoadMUIStringW
            RegDeleteKeyValueA RegDeleteKeyValueW RegOpenKeyTransactedA RegOpenKeyTransactedW
            RegCreateKeyTransactedA RegCreateKeyTransactedW EventRegister EventUnregister EventWrite
            EventEnabled AddMandatoryAce ControlServiceExA ControlServiceExW NotifyServiceStatusChangeA
            NotifyServiceStatusChangeW""",
    },
    "shell32.dll": {
        VISTA: """SHGetKnownFolderPath SHSetKnownFolderPath SHGetKnownFolderIDList SHCreateItemFromParsingName
            SHCreateItemFromIDList SHGetStockIconInfo SHGetIDListFromObject SHGetFolderPathEx
            SHCreateItemWithParent SHGetPropertyStoreFromParsingName SHEvaluateSystemCommandTemplate
            SHCreateDefaultExtractIcon SHQueryUserNotificationState SHOpenWithDialog""",
        WIN7: """SHGetPropertyStoreForWindow Shell_NotifyIconGetRect SetCurrentProcessExplicitAppUserModelID
            GetCurrentProcessExplicitAppUserModelID""",
    },
    "comctl32.dll": {VISTA: "TaskDialog TaskDialogIndirect LoadIconMetric LoadIconWithScaleDown"},
    "ws2_32.dll": {
        VISTA: """inet_pton inet_ntop InetPtonW InetNtopW WSAPoll GetAddrInfoExA GetAddrInfoExW
            SetAddrInfoExA SetAddrInfoExW FreeAddrInfoEx FreeAddrInfoExW WSASendMsg WSAConnectByNameA
            WSAConnectByNameW WSAConnectByList""",
        WIN8: "GetAddrInfoExCancel GetAddrInfoExOverlappedResult",
    },
    "iphlpapi.dll": {
        VISTA: """if_nametoindex if_indextoname ConvertInterfaceLuidToNameA ConvertInterfaceLuidToNameW
            ConvertInterfaceIndexToLuid ConvertInterfaceLuidToIndex GetIfEntry2 GetIfTable2 FreeMibTable
            NotifyIpInterfaceChange GetBestRoute2 GetUnicastIpAddressTable""",
    },
    "msvcrt.dll": {
        VISTA: """_configthreadlocale _create_locale _free_locale _get_current_locale _get_errno _set_errno
            _recalloc _aligned_msize""",
    },
}

# Modules that the floor does not have at all (patterns, lower case).
LATER_MODULES = [
    (r"api-ms-win-.*", WIN7), (r"ext-ms-win-.*", WIN7), (r"dwmapi\.dll", VISTA), (r"bcrypt\.dll", VISTA),
    (r"ncrypt\.dll", VISTA), (r"propsys\.dll", VISTA), (r"ucrtbase\.dll", VISTA), (r"vcruntime.*\.dll", VISTA),
    (r"d2d1\.dll", WIN7), (r"dwrite\.dll", WIN7), (r"shcore\.dll", WIN81),
]


def later_version(module, function):
    """The version that brought the import, or None when the list does not know it as later."""
    module = module.lower()
    for pattern, version in LATER_MODULES:
        if re.fullmatch(pattern, module):
            return version
    if module == "kernel32.dll" and function.startswith("K32"):
        return WIN7
    if module == "msvcrt.dll" and re.search(r"_[sl]$", function):
        return VISTA  # the secure and locale variants of the C library
    for version, names in LATER.get(module, {}).items():
        if function in names.split():
            return version
    return None


def headers_of(objdump, exe):
    return subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout


def subsystem_version(text):
    """The (major, minor) subsystem version of the image: the loader refuses
    an image that asks for a later one."""
    major = re.search(r"MajorSubsystemVersion\s+(\d+)", text)
    minor = re.search(r"MinorSubsystemVersion\s+(\d+)", text)
    return (int(major.group(1)), int(minor.group(1))) if major and minor else None


def imports_of(text):
    found, module = [], None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            module = m.group(1)
            continue
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if module and m:
            found.append((module, m.group(1)))
    return found


def main(argv):
    objdumps, stages = {}, []
    for arg in argv:
        key, _, value = arg.partition("=")
        if key in FLOORS and value:
            objdumps[key] = value
        elif value in FLOORS:
            stages.append((key, value))
        else:
            print(__doc__)
            return 2
    failures = 0
    for stage, arch in stages:
        floor = FLOORS[arch]
        for name in EXECUTABLES:
            exe = f"{stage}/{name}"
            try:
                text = headers_of(objdumps[arch], exe)
            except (OSError, subprocess.CalledProcessError) as error:
                print(f"FAIL {arch} {name}: cannot list the imports ({error})")
                failures += 1
                continue
            found = imports_of(text)
            subsystem = subsystem_version(text)
            print(f"{arch} {name} (floor {FLOOR_NAMES[floor]}): {len(found)} imports, subsystem {subsystem}")
            if not subsystem or subsystem > floor:
                print(f"FAIL {arch} {name}: subsystem version {subsystem} above the floor")
                failures += 1
            for module in sorted({m for m, _ in found}, key=str.lower):
                print(f"  {module}: " + " ".join(sorted(f for m, f in found if m == module)))
            for module, function in found:
                version = later_version(module, function)
                if version and version > floor:
                    print(f"FAIL {arch} {name}: {module} {function} needs Windows {version[0]}.{version[1]}")
                    failures += 1
    print("imports within the floor" if failures == 0 else f"{failures} imports above the floor")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
