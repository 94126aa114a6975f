// The requesting process's user, read from its primary token.
#include "driver/UserSid.h"

#include <ntddk.h>

#ifndef PROCESS_QUERY_INFORMATION
#define PROCESS_QUERY_INFORMATION 0x0400 // not in the kernel headers
#endif

BOOLEAN ProcessUserSid(uint32_t processId, WCHAR* out, ULONG outChars)
{
    if (!out || outChars == 0 || processId == 0)
        return FALSE;
    // Opened by its id through the object manager, as a user-mode caller
    // would: the kernel process object itself is never needed.
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    CLIENT_ID client = {(HANDLE)(ULONG_PTR)processId, NULL};
    HANDLE processHandle = NULL;
    NTSTATUS status = ZwOpenProcess(&processHandle, PROCESS_QUERY_INFORMATION, &attributes, &client);
    if (!NT_SUCCESS(status))
        return FALSE;
    HANDLE token = NULL;
    status = ZwOpenProcessTokenEx(processHandle, TOKEN_QUERY, OBJ_KERNEL_HANDLE, &token);
    ZwClose(processHandle);
    if (!NT_SUCCESS(status))
        return FALSE;
    // TOKEN_USER and the SID behind it: at most 8 + 8 + 68 bytes.
    ULONG buffer[64];
    ULONG got = 0;
    status = ZwQueryInformationToken(token, TokenUser, buffer, sizeof(buffer), &got);
    ZwClose(token);
    if (!NT_SUCCESS(status))
        return FALSE;
    UNICODE_STRING text;
    text.Buffer = out;
    text.Length = 0;
    text.MaximumLength = (USHORT)((outChars > 0x7FFF ? 0x7FFF : outChars) * sizeof(WCHAR));
    if (!NT_SUCCESS(RtlConvertSidToUnicodeString(&text, ((TOKEN_USER*)buffer)->User.Sid, FALSE)))
        return FALSE;
    ULONG chars = text.Length / sizeof(WCHAR);
    if (chars >= outChars)
        return FALSE;
    out[chars] = 0;
    return TRUE;
}
