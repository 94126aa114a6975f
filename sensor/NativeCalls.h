// Native declarations the sensor needs beyond <winternl.h>: the signatures of
// the entry points it catches and the records it reads from their arguments.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <stdint.h>

// Entry points of ntdll that <winternl.h> does not declare; they exist on
// every system the sensor loads on and are never caught, so they are called
// through the sensor's own import table (which is never patched).
extern "C" {
NTSTATUS NTAPI NtQueryKey(HANDLE key, ULONG infoClass, PVOID info, ULONG length, PULONG returned);
NTSTATUS NTAPI NtTerminateProcess(HANDLE process, NTSTATUS exitStatus);
NTSTATUS NTAPI NtResumeThread(HANDLE thread, PULONG previousCount);
NTSTATUS NTAPI LdrLockLoaderLock(ULONG flags, PULONG state, PULONG_PTR cookie);
NTSTATUS NTAPI LdrUnlockLoaderLock(ULONG flags, ULONG_PTR cookie);
NTSTATUS NTAPI NtOpenProcessToken(HANDLE process, ACCESS_MASK access, PHANDLE token);
NTSTATUS NTAPI NtQueryInformationToken(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, PVOID info, ULONG length,
                                       PULONG returned);
}

namespace sensor {

typedef NTSTATUS(NTAPI* NtCreateFileFn)(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                        PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation, ULONG fileAttributes,
                                        ULONG share, ULONG disposition, ULONG options, PVOID ea, ULONG eaLength);
typedef NTSTATUS(NTAPI* NtOpenFileFn)(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                      PIO_STATUS_BLOCK io, ULONG share, ULONG options);
typedef NTSTATUS(NTAPI* NtSetValueKeyFn)(HANDLE key, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type,
                                         PVOID data, ULONG size);
typedef NTSTATUS(NTAPI* NtCreateUserProcessFn)(PHANDLE process, PHANDLE thread, ACCESS_MASK processAccess,
                                               ACCESS_MASK threadAccess, POBJECT_ATTRIBUTES processAttributes,
                                               POBJECT_ATTRIBUTES threadAttributes, ULONG processFlags,
                                               ULONG threadFlags, PVOID parameters, PVOID createInfo,
                                               PVOID attributeList);
// The second argument is a flags pointer on Windows and a flags value in
// Wine; both travel as one pointer-sized argument and are passed on as is.
typedef NTSTATUS(NTAPI* LdrLoadDllFn)(PCWSTR searchPath, ULONG_PTR flags, PUNICODE_STRING name, PVOID* base);

const NTSTATUS kStatusSuccess = 0;
const NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022L);

const ULONG kKeyNameInformation = 3;
const ULONG kObjectNameInformation = 1;
const ULONG kThreadCreateSuspended = 0x1;
const ULONG kProcessParametersNormalized = 0x1;

// One entry of the attribute list handed to NtCreateUserProcess.
struct PS_ATTRIBUTE_ENTRY {
    ULONG_PTR attribute;
    SIZE_T size;
    ULONG_PTR value;
    PSIZE_T returnLength;
};
struct PS_ATTRIBUTE_LIST_HEAD {
    SIZE_T totalLength;
    PS_ATTRIBUTE_ENTRY attributes[1];
};
const ULONG_PTR kPsAttributeImageName = 0x20005;

// The leading part of the process parameters, up to the image path.
struct PROCESS_PARAMETERS_HEAD {
    ULONG maximumLength;
    ULONG length;
    ULONG flags;
    ULONG debugFlags;
    HANDLE consoleHandle;
    ULONG consoleFlags;
    HANDLE stdInput;
    HANDLE stdOutput;
    HANDLE stdError;
    UNICODE_STRING currentDirectory;
    HANDLE currentDirectoryHandle;
    UNICODE_STRING dllPath;
    UNICODE_STRING imagePathName;
};

} // namespace sensor
