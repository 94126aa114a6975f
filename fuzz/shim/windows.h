// The few Win32 declarations that the rule model, the rule file reader and
// the text conversions use, for the native (Linux) fuzz build. The build
// uses -fshort-wchar, so wchar_t is UTF-16 as on Windows. The "ANSI code
// page" here is Latin-1, one byte to one unit, so every byte of a file reads
// and writes back unchanged; UTF-8 converts as on Windows (a malformed
// sequence or a lone surrogate becomes U+FFFD).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef unsigned long long ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef void* HANDLE;
typedef void* HMODULE;
typedef wchar_t WCHAR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWCH;
typedef long long (*FARPROC)(void);

#define TRUE 1
#define FALSE 0
#define WINAPI
#define CP_ACP 0u
#define CP_UTF8 65001u
#define WC_NO_BEST_FIT_CHARS 0x400u
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x1u
#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_WRITE_THROUGH 0x8u

typedef struct {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;
typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA;
typedef enum { GetFileExInfoStandard } GET_FILEEX_INFO_LEVELS;

#ifdef __cplusplus
extern "C" {
#endif

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, wchar_t* out, int capacity);
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* text, int length, char* out, int capacity,
                        const char* defaultChar, BOOL* usedDefault);
int lstrlenA(const char* text);
int lstrlenW(const wchar_t* text);
// No system module is loaded here: every function bound at run time takes
// its fallback.
HMODULE GetModuleHandleW(const wchar_t* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
DWORD GetTickCount(void);
// Upper case of one unit (in the low word of the argument): ASCII and Latin-1.
LPWSTR CharUpperW(LPWSTR text);
BOOL DeleteFileW(const wchar_t* path);
// FILE_ATTRIBUTE_READONLY for a file this process may not write, else 0;
// INVALID_FILE_ATTRIBUTES for a missing file.
DWORD GetFileAttributesW(const wchar_t* path);
BOOL MoveFileExW(const wchar_t* from, const wchar_t* to, DWORD flags);
// Size and last write time from stat(); the attributes as GetFileAttributesW.
BOOL GetFileAttributesExW(const wchar_t* path, GET_FILEEX_INFO_LEVELS level, void* info);
// Always fails: there is no driver in the fuzz build.
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                     void* overlapped);
int _stricmp(const char* a, const char* b);
FILE* _wfopen(const wchar_t* path, const wchar_t* mode);

#ifdef __cplusplus
}
#endif
