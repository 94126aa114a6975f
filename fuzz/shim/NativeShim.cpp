// Definitions behind shim/windows.h and shim/io.h, and the C library's wide
// string functions for a 16-bit wchar_t. The C library of the host was built
// for a 32-bit wchar_t; these definitions take the place of its own for the
// whole fuzz program (std::wstring calls them through its character traits).
// Built with -fno-builtin so that none of the loops below becomes a call to
// the function it defines.
#include <windows.h>
#include <io.h>

#include <stdarg.h>
#include <string.h>
#include <strings.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

static_assert(sizeof(wchar_t) == 2, "the fuzz build uses -fshort-wchar");

// ---- wide strings -----------------------------------------------------------

extern "C" size_t wcslen(const wchar_t* s) noexcept
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

extern "C" int wcscmp(const wchar_t* a, const wchar_t* b) noexcept
{
    for (;; ++a, ++b) {
        if (*a != *b)
            return static_cast<uint16_t>(*a) < static_cast<uint16_t>(*b) ? -1 : 1;
        if (!*a)
            return 0;
    }
}

extern "C" int wmemcmp(const wchar_t* a, const wchar_t* b, size_t n) noexcept
{
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return static_cast<uint16_t>(a[i]) < static_cast<uint16_t>(b[i]) ? -1 : 1;
    }
    return 0;
}

extern "C" wchar_t* wmemchr(const wchar_t* s, wchar_t c, size_t n) noexcept
{
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == c)
            return const_cast<wchar_t*>(s + i);
    }
    return nullptr;
}

extern "C" wchar_t* wmemcpy(wchar_t* __restrict to, const wchar_t* __restrict from, size_t n) noexcept
{
    for (size_t i = 0; i < n; ++i)
        to[i] = from[i];
    return to;
}

extern "C" wchar_t* wmemmove(wchar_t* to, const wchar_t* from, size_t n) noexcept
{
    if (to < from) {
        for (size_t i = 0; i < n; ++i)
            to[i] = from[i];
    } else {
        for (size_t i = n; i > 0; --i)
            to[i - 1] = from[i - 1];
    }
    return to;
}

extern "C" wchar_t* wmemset(wchar_t* s, wchar_t c, size_t n) noexcept
{
    for (size_t i = 0; i < n; ++i)
        s[i] = c;
    return s;
}

// The formats the program's logic uses are ASCII ("%u"): format narrow and
// widen the result.
extern "C" int swprintf(wchar_t* __restrict out, size_t capacity, const wchar_t* __restrict format, ...) noexcept
{
    std::string narrowFormat;
    for (const wchar_t* p = format; *p; ++p)
        narrowFormat += static_cast<char>(*p < 0x80 ? *p : '?');
    char text[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof(text), narrowFormat.c_str(), args);
    va_end(args);
    if (n < 0 || capacity == 0)
        return -1;
    size_t i = 0;
    for (; i + 1 < capacity && text[i]; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    out[i] = 0;
    return static_cast<size_t>(n) < capacity ? n : -1;
}

// ---- Win32 ------------------------------------------------------------------

namespace {

std::string NarrowPath(const wchar_t* path)
{
    std::string out;
    for (; path && *path; ++path)
        out += static_cast<char>(*path < 0x80 ? *path : '_');
    return out;
}

} // namespace

namespace {

// UTF-8 to UTF-16 as Windows does it: each malformed sequence (a stray or
// missing continuation byte, an overlong form, a surrogate, a value beyond
// U+10FFFF) becomes U+FFFD.
std::u16string DecodeUtf8(const unsigned char* p, size_t n)
{
    std::u16string out;
    for (size_t i = 0; i < n;) {
        unsigned c = p[i];
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (extra == 0) {
            out += char16_t(c);
            ++i;
            continue;
        }
        uint32_t v = extra == 9 ? 0 : c & (0x3Fu >> extra);
        size_t k = 1;
        for (; extra != 9 && k <= extra && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            v = v << 6 | (p[i + k] & 0x3Fu);
        static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (extra == 9 || k <= extra || v < kLeast[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
            out += u'\xFFFD';
            i += k > 1 ? k : 1;
            continue;
        }
        if (v >= 0x10000) {
            out += char16_t(0xD800 + ((v - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((v - 0x10000) & 0x3FF));
        } else {
            out += char16_t(v);
        }
        i += k;
    }
    return out;
}

std::string EncodeUtf8(const wchar_t* text, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        uint32_t v = uint16_t(text[i]);
        if (v >= 0xD800 && v <= 0xDBFF && i + 1 < n && uint16_t(text[i + 1]) >= 0xDC00 && uint16_t(text[i + 1]) <= 0xDFFF)
            v = 0x10000 + ((v - 0xD800) << 10) + (uint16_t(text[++i]) - 0xDC00);
        else if (v >= 0xD800 && v <= 0xDFFF)
            v = 0xFFFD;
        if (v < 0x80) {
            out += char(v);
        } else if (v < 0x800) {
            out += char(0xC0 | v >> 6);
            out += char(0x80 | (v & 0x3F));
        } else if (v < 0x10000) {
            out += char(0xE0 | v >> 12);
            out += char(0x80 | (v >> 6 & 0x3F));
            out += char(0x80 | (v & 0x3F));
        } else {
            out += char(0xF0 | v >> 18);
            out += char(0x80 | (v >> 12 & 0x3F));
            out += char(0x80 | (v >> 6 & 0x3F));
            out += char(0x80 | (v & 0x3F));
        }
    }
    return out;
}

} // namespace

extern "C" int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int length, wchar_t* out, int capacity)
{
    if ((codePage != CP_ACP && codePage != CP_UTF8) || !text)
        return 0;
    if (length < 0)
        length = static_cast<int>(strlen(text)) + 1;
    std::u16string wide;
    if (codePage == CP_UTF8)
        wide = DecodeUtf8(reinterpret_cast<const unsigned char*>(text), size_t(length));
    else
        for (int i = 0; i < length; ++i)
            wide += char16_t(static_cast<unsigned char>(text[i]));
    int n = static_cast<int>(wide.size());
    if (capacity == 0)
        return n;
    if (capacity < n)
        return 0;
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<wchar_t>(wide[i]);
    return n;
}

extern "C" int WideCharToMultiByte(UINT codePage, DWORD, const wchar_t* text, int length, char* out, int capacity,
                                   const char*, BOOL* usedDefault)
{
    if ((codePage != CP_ACP && codePage != CP_UTF8) || !text)
        return 0;
    if (length < 0)
        length = static_cast<int>(wcslen(text)) + 1;
    std::string narrow;
    if (codePage == CP_UTF8) {
        if (usedDefault)
            return 0; // Windows refuses the flag for UTF-8
        narrow = EncodeUtf8(text, size_t(length));
    } else {
        for (int i = 0; i < length; ++i) {
            uint16_t c = static_cast<uint16_t>(text[i]);
            narrow += c <= 0xFF ? static_cast<char>(c) : '?';
            if (c > 0xFF && usedDefault)
                *usedDefault = TRUE;
        }
    }
    int n = static_cast<int>(narrow.size());
    if (capacity == 0)
        return n;
    if (capacity < n)
        return 0;
    memcpy(out, narrow.data(), size_t(n));
    return n;
}

extern "C" int lstrlenA(const char* text)
{
    return text ? static_cast<int>(strlen(text)) : 0;
}

extern "C" int lstrlenW(const wchar_t* text)
{
    return text ? static_cast<int>(wcslen(text)) : 0;
}

extern "C" HMODULE GetModuleHandleW(const wchar_t*)
{
    return nullptr;
}

extern "C" FARPROC GetProcAddress(HMODULE, const char*)
{
    return nullptr;
}

extern "C" DWORD GetTickCount(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000u + now.tv_nsec / 1000000);
}

extern "C" LPWSTR CharUpperW(LPWSTR text)
{
    uintptr_t c = reinterpret_cast<uintptr_t>(text);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        c -= 0x20;
    return reinterpret_cast<LPWSTR>(c);
}

extern "C" BOOL DeleteFileW(const wchar_t* path)
{
    return unlink(NarrowPath(path).c_str()) == 0;
}

extern "C" DWORD GetFileAttributesW(const wchar_t* path)
{
    const std::string narrow = NarrowPath(path);
    if (access(narrow.c_str(), F_OK) != 0)
        return INVALID_FILE_ATTRIBUTES;
    return access(narrow.c_str(), W_OK) == 0 ? 0 : FILE_ATTRIBUTE_READONLY;
}

extern "C" BOOL GetFileAttributesExW(const wchar_t* path, GET_FILEEX_INFO_LEVELS, void* info)
{
    struct stat st;
    if (!info || stat(NarrowPath(path).c_str(), &st) != 0)
        return FALSE;
    WIN32_FILE_ATTRIBUTE_DATA* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
    *data = WIN32_FILE_ATTRIBUTE_DATA();
    data->dwFileAttributes = GetFileAttributesW(path);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    const uint64_t time = static_cast<uint64_t>(st.st_mtime) * 10000000u;
    data->ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
    data->ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(time);
    return TRUE;
}

extern "C" BOOL MoveFileExW(const wchar_t* from, const wchar_t* to, DWORD)
{
    return rename(NarrowPath(from).c_str(), NarrowPath(to).c_str()) == 0;
}

extern "C" BOOL DeviceIoControl(HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD* returned, void*)
{
    if (returned)
        *returned = 0;
    return FALSE;
}

extern "C" int _stricmp(const char* a, const char* b)
{
    return strcasecmp(a, b);
}

extern "C" FILE* _wfopen(const wchar_t* path, const wchar_t* mode)
{
    return fopen(NarrowPath(path).c_str(), NarrowPath(mode).c_str());
}

// Nothing is kept between runs: there is no need to reach the disk.
extern "C" int _commit(int)
{
    return 0;
}

extern "C" int _fileno(FILE* file)
{
    return fileno(file);
}
