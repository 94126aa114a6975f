#include "names/CanonicalName.h"

#include "driver/common/CaseFold.h"

#include <winternl.h>

namespace {

// ---- ntdll and Wine's name functions, bound at first use ----------------------

typedef NTSTATUS(NTAPI* NtQueryObjectFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI* NtQueryKeyFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI* NtOpenFileFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
typedef NTSTATUS(NTAPI* NtQueryDirectoryFileFn)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG,
                                                BOOLEAN, PUNICODE_STRING, BOOLEAN);
typedef NTSTATUS(NTAPI* NtCloseFn)(HANDLE);
typedef char*(CDECL* UnixNameFn)(LPCWSTR);
typedef WCHAR*(CDECL* DosNameFn)(LPCSTR);

const ULONG kObjectNameInformation = 1;
const ULONG kKeyNameInformation = 3;
const ULONG kFileBothDirectoryInformation = 3;
const ULONG kFileListDirectory = 0x0001;
const ULONG kFileDirectoryFile = 0x00000001;
const ULONG kFileSynchronousIoNonAlert = 0x00000020;
const ULONG kFileOpenForBackupIntent = 0x00004000;

struct Bound {
    NtQueryObjectFn queryObject;
    NtQueryKeyFn queryKey;
    NtOpenFileFn openFile;
    NtQueryDirectoryFileFn queryDirectory;
    NtCloseFn close;
    UnixNameFn unixName; // Wine only
    DosNameFn dosName;   // Wine only
};

template <class F>
F Proc(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Bound once; a race only binds the same addresses twice.
const Bound& Functions()
{
    static Bound bound;
    static volatile LONG ready = 0;
    if (!ready) {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        bound.queryObject = Proc<NtQueryObjectFn>(ntdll, "NtQueryObject");
        bound.queryKey = Proc<NtQueryKeyFn>(ntdll, "NtQueryKey");
        bound.openFile = Proc<NtOpenFileFn>(ntdll, "NtOpenFile");
        bound.queryDirectory = Proc<NtQueryDirectoryFileFn>(ntdll, "NtQueryDirectoryFile");
        bound.close = Proc<NtCloseFn>(ntdll, "NtClose");
        bound.unixName = Proc<UnixNameFn>(kernel32, "wine_get_unix_file_name");
        bound.dosName = Proc<DosNameFn>(kernel32, "wine_get_dos_file_name");
        InterlockedExchange(&ready, 1);
    }
    return bound;
}

// ---- fixed-size text ------------------------------------------------------------

const size_t kCap = NAMES_MAX_CHARS + 1;

struct Text {
    wchar_t s[kCap];
    size_t n = 0;
    bool ok = true;

    void Clear() { n = 0, ok = true, s[0] = 0; }
    void Add(wchar_t c)
    {
        if (n + 1 < kCap)
            s[n++] = c, s[n] = 0;
        else
            ok = false;
    }
    void Add(const wchar_t* p, size_t len)
    {
        for (size_t i = 0; i < len; ++i)
            Add(p[i]);
    }
    void Add(const wchar_t* p)
    {
        for (; *p; ++p)
            Add(*p);
    }
};

bool SameLetter(wchar_t a, wchar_t b)
{
    return CaseUpper(uint16_t(a)) == CaseUpper(uint16_t(b));
}

// Whether `p` (len units) begins with the ASCII `prefix`, without regard to case.
bool Starts(const wchar_t* p, size_t len, const wchar_t* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= len || !SameLetter(p[i], prefix[i]))
            return false;
    }
    return true;
}

size_t Length(const wchar_t* p)
{
    size_t n = 0;
    while (p[n])
        ++n;
    return n;
}

bool IsLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool IsDrive(const wchar_t* p, size_t len)
{
    return len >= 2 && IsLetter(p[0]) && p[1] == L':' && (len == 2 || p[2] == L'\\');
}

// ---- drive letters' devices -----------------------------------------------------

// The comparable form of a drive's device target: a network redirection
// \Device\LanmanRedirector\;X:<logon id>\server\share (or the same under
// \Device\Mup\) becomes \\server\share; anything else stays as it is.
void Comparable(const wchar_t* target, Text* out)
{
    out->Clear();
    size_t len = Length(target);
    const wchar_t* redirectors[] = {L"\\Device\\LanmanRedirector\\", L"\\Device\\Mup\\"};
    for (const wchar_t* r : redirectors) {
        size_t rl = Length(r);
        if (!Starts(target, len, r))
            continue;
        size_t p = rl;
        if (p < len && target[p] == L';') { // ;X:<logon id>\ before the server
            while (p < len && target[p] != L'\\')
                ++p;
            ++p;
        }
        if (p >= len)
            return;
        out->Add(L"\\\\");
        out->Add(target + p, len - p);
        return;
    }
    out->Add(target, len);
}

// A device path or network path of a drive letter, as that drive's path: the
// first letter whose target is the leading part of `path` up to a backslash
// or its end. False when no letter maps it.
bool DriveOfDevice(const Text& path, Text* out)
{
    wchar_t target[512];
    Text comparable;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        wchar_t drive[3] = {letter, L':', 0};
        if (QueryDosDeviceW(drive, target, sizeof(target) / sizeof(target[0])) == 0)
            continue;
        target[sizeof(target) / sizeof(target[0]) - 1] = 0;
        Comparable(target, &comparable);
        size_t tl = comparable.n;
        while (tl > 0 && comparable.s[tl - 1] == L'\\')
            --tl;
        if (tl == 0 || tl > path.n)
            continue;
        bool same = true;
        for (size_t i = 0; i < tl && same; ++i)
            same = SameLetter(path.s[i], comparable.s[i]);
        if (!same || (path.n > tl && path.s[tl] != L'\\'))
            continue;
        out->Clear();
        out->Add(drive, 2);
        out->Add(path.s + tl, path.n - tl);
        if (out->n == 2)
            out->Add(L'\\');
        return out->ok;
    }
    return false;
}

// ---- Wine's other names of one file --------------------------------------------

// A Unix path (UTF-8) as the drive path Wine gives it: the drive whose folder
// holds it most closely. False when Wine's functions are missing or it is on
// no drive.
bool DriveOfUnixPath(const char* unixPath, Text* out)
{
    const Bound& f = Functions();
    if (!f.dosName || !unixPath)
        return false;
    WCHAR* dos = f.dosName(unixPath);
    if (!dos)
        return false;
    size_t len = Length(dos);
    bool drive = IsDrive(dos, len);
    if (drive) {
        out->Clear();
        out->Add(dos, len);
    }
    HeapFree(GetProcessHeap(), 0, dos);
    return drive && out->ok;
}

// \\?\unix\dir\file (the text after "unix") as the Unix path /dir/file.
bool DriveOfUnixName(const wchar_t* rest, size_t len, Text* out)
{
    wchar_t slashed[kCap];
    size_t n = 0;
    for (size_t i = 0; i < len && n + 1 < kCap; ++i)
        slashed[n++] = rest[i] == L'\\' ? L'/' : rest[i];
    if (n == 0 || n + 1 >= kCap)
        return false;
    slashed[n] = 0;
    char utf8[3 * kCap];
    if (WideCharToMultiByte(CP_UTF8, 0, slashed, -1, utf8, sizeof(utf8), nullptr, nullptr) <= 0)
        return false;
    return DriveOfUnixPath(utf8, out);
}

// Whether the drive of `letter` can show files of other drives: under Wine a
// drive whose folder is one of the prefix's own drive links
// (.../dosdevices/c:/) holds only its own files; one that maps a Unix folder
// directly (Z: is "/") may hold the folders of every other drive. Asked once
// per letter; two threads that ask at once only ask twice.
bool MayShowOtherDrives(const Bound& f, wchar_t letter)
{
    static volatile LONG known[26]; // 0 not asked, 1 may, 2 may not
    int i = (letter | 0x20) - L'a';
    if (i < 0 || i >= 26)
        return false;
    if (known[i] == 0) {
        wchar_t root[4] = {letter, L':', L'\\', 0};
        char* unixRoot = f.unixName(root);
        LONG answer = 1;
        if (unixRoot) {
            size_t n = 0;
            while (unixRoot[n])
                ++n;
            // ".../dosdevices/x:/" (or without the last slash)
            const char tail[] = "/dosdevices/";
            size_t end = n > 0 && unixRoot[n - 1] == '/' ? n - 1 : n;
            bool own = end >= 2 + sizeof(tail) - 1 && unixRoot[end - 1] == ':' &&
                       ((unixRoot[end - 2] | 0x20) == char(L'a' + i));
            for (size_t k = 0; own && k < sizeof(tail) - 1; ++k)
                own = unixRoot[end - 2 - (sizeof(tail) - 1) + k] == tail[k];
            answer = own ? 2 : 1;
            HeapFree(GetProcessHeap(), 0, unixRoot);
        }
        InterlockedExchange(&known[i], answer);
    }
    return known[i] == 1;
}

// A drive path as the drive path that names the same file most closely under
// Wine (Z:\home\u\.wine\drive_c\x is C:\x). Unchanged when not under Wine,
// and for a drive that holds only its own files.
void WineDrive(Text* path)
{
    const Bound& f = Functions();
    if (!f.unixName || !f.dosName || !IsDrive(path->s, path->n) || !MayShowOtherDrives(f, path->s[0]))
        return;
    char* unixPath = f.unixName(path->s);
    if (!unixPath)
        return;
    Text other;
    if (DriveOfUnixPath(unixPath, &other) && other.n > 0)
        *path = other;
    HeapFree(GetProcessHeap(), 0, unixPath);
}

// A UNC path as the path of the mapped drive that names it, when there is one.
bool DriveOfDeviceOrSelf(Text* path)
{
    Text drive;
    if (DriveOfDevice(*path, &drive))
        *path = drive;
    return true;
}

// ---- components -----------------------------------------------------------------

// Units of the root of a normalised path: 2 for X:, the whole \\server\share
// for a UNC path; 0 when it is neither.
size_t RootLength(const Text& path)
{
    if (IsDrive(path.s, path.n))
        return 2;
    if (path.n < 3 || path.s[0] != L'\\' || path.s[1] != L'\\')
        return 0;
    size_t p = 2, parts = 0;
    while (p < path.n && parts < 2) {
        while (p < path.n && path.s[p] == L'\\')
            ++p;
        size_t start = p;
        while (p < path.n && path.s[p] != L'\\')
            ++p;
        parts += p > start;
    }
    return parts == 2 ? p : 0;
}

// Rewrites `path` (a drive path X:\..., or \\server\share\...) with single
// backslashes, without . and .. components (never above the root), without
// the trailing dots and blanks of a component and without a stream suffix.
bool Normalise(Text* path)
{
    size_t root = RootLength(*path); // stays as it is
    if (root == 0)
        return false;
    Text out;
    out.Add(path->s, root);
    size_t p = root;
    while (p < path->n) {
        while (p < path->n && path->s[p] == L'\\')
            ++p;
        size_t start = p;
        while (p < path->n && path->s[p] != L'\\')
            ++p;
        size_t end = p;
        // A stream: everything from the first colon (the drive's is in the root).
        for (size_t i = start; i < end; ++i) {
            if (path->s[i] == L':') {
                end = i;
                break;
            }
        }
        size_t len = end - start;
        if (len == 1 && path->s[start] == L'.')
            continue;
        if (len == 2 && path->s[start] == L'.' && path->s[start + 1] == L'.') {
            while (out.n > root && out.s[out.n - 1] != L'\\')
                --out.n;
            if (out.n > root)
                --out.n; // its backslash
            out.s[out.n] = 0;
            continue;
        }
        while (end > start && (path->s[end - 1] == L'.' || path->s[end - 1] == L' '))
            --end;
        if (end == start)
            continue; // nothing left of it
        out.Add(L'\\');
        out.Add(path->s + start, end - start);
    }
    if (out.n == root)
        out.Add(L'\\');
    if (!out.ok)
        return false;
    *path = out;
    return true;
}

// The long name of component `name` (len units) in the folder `folder` (a
// drive or UNC path), when the folder holds an entry whose short name it is.
bool LongName(const Text& folder, const wchar_t* name, size_t len, Text* longName)
{
    const Bound& f = Functions();
    if (!f.openFile || !f.queryDirectory || !f.close)
        return false;
    Text nt;
    if (folder.s[0] == L'\\') {
        nt.Add(L"\\??\\UNC");
        nt.Add(folder.s + 1, folder.n - 1);
    } else {
        nt.Add(L"\\??\\");
        nt.Add(folder.s, folder.n);
    }
    if (!nt.ok || nt.n * 2 > 0xFFFE || len * 2 > 0xFFFE)
        return false;
    UNICODE_STRING folderName = {USHORT(nt.n * 2), USHORT(nt.n * 2), nt.s};
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.ObjectName = &folderName;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    IO_STATUS_BLOCK io;
    HANDLE dir = nullptr;
    if (f.openFile(&dir, kFileListDirectory | SYNCHRONIZE, &attributes, &io, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   kFileDirectoryFile | kFileSynchronousIoNonAlert | kFileOpenForBackupIntent) < 0)
        return false;
    // FILE_BOTH_DIR_INFORMATION: the short name at 70 (its length in bytes at
    // 68), the long name at 94 (its length in bytes at 60).
    alignas(8) unsigned char buffer[4096];
    UNICODE_STRING mask = {USHORT(len * 2), USHORT(len * 2), const_cast<wchar_t*>(name)};
    bool found = false;
    bool restart = true;
    // First the entries that the system matches to the name, then, for a
    // system that matches masks to long names only, every entry.
    for (int pass = 0; pass < 2 && !found; ++pass) {
        restart = true;
        for (;;) {
            NTSTATUS status = f.queryDirectory(dir, nullptr, nullptr, nullptr, &io, buffer, sizeof(buffer),
                                               kFileBothDirectoryInformation, FALSE, pass == 0 ? &mask : nullptr,
                                               restart);
            restart = false;
            if (status < 0)
                break;
            for (size_t at = 0; at + 94 <= sizeof(buffer) && !found;) {
                const unsigned char* e = buffer + at;
                ULONG next = *reinterpret_cast<const ULONG*>(e);
                ULONG longBytes = *reinterpret_cast<const ULONG*>(e + 60);
                unsigned shortBytes = e[68];
                const wchar_t* shortName = reinterpret_cast<const wchar_t*>(e + 70);
                const wchar_t* fileName = reinterpret_cast<const wchar_t*>(e + 94);
                if (at + 94 + longBytes > sizeof(buffer) || shortBytes > 24)
                    break;
                bool isShort = shortBytes / 2 == len;
                for (size_t i = 0; i < len && isShort; ++i)
                    isShort = SameLetter(shortName[i], name[i]);
                bool isLong = longBytes / 2 == len;
                for (size_t i = 0; i < len && isLong; ++i)
                    isLong = SameLetter(fileName[i], name[i]);
                if (isShort || isLong) {
                    longName->Clear();
                    longName->Add(fileName, longBytes / 2);
                    found = longName->ok;
                }
                if (next == 0)
                    break;
                at += next;
            }
            if (found || pass == 0)
                break; // the mask's answer is one batch
        }
    }
    f.close(dir);
    return found;
}

// Expands every component with a tilde (the mark of a generated short name)
// that names an existing entry by its short name. Stops at the first folder
// that does not exist: what follows cannot be expanded either.
void ExpandShortNames(Text* path)
{
    size_t root = RootLength(*path);
    if (root == 0)
        return;
    bool tilde = false;
    for (size_t i = root; i < path->n && !tilde; ++i)
        tilde = path->s[i] == L'~';
    if (!tilde)
        return;
    Text out;
    out.Add(path->s, root);
    size_t p = root;
    bool expanding = true;
    while (p < path->n) {
        size_t start = ++p; // past the backslash
        while (p < path->n && path->s[p] != L'\\')
            ++p;
        const wchar_t* name = path->s + start;
        size_t len = p - start;
        bool hasTilde = false;
        for (size_t i = 0; i < len && !hasTilde; ++i)
            hasTilde = name[i] == L'~';
        Text longName;
        Text folder = out;
        if (folder.n == 2)
            folder.Add(L'\\');
        out.Add(L'\\');
        if (expanding && hasTilde && len <= 12 && LongName(folder, name, len, &longName)) {
            out.Add(longName.s, longName.n);
        } else {
            out.Add(name, len);
        }
    }
    if (out.ok)
        *path = out;
}

// Where the name points, before normalising: the drive path, UNC path or
// Unix path that its prefix names.
bool Locate(const wchar_t* p, size_t len, Text* out)
{
    out->Clear();
    // Object manager and Win32 device prefixes before a drive or UNC path.
    const wchar_t* prefixes[] = {L"\\??\\", L"\\DosDevices\\", L"\\GLOBAL??\\", L"\\\\?\\", L"\\\\.\\"};
    for (const wchar_t* prefix : prefixes) {
        size_t pl = Length(prefix);
        if (!Starts(p, len, prefix))
            continue;
        const wchar_t* rest = p + pl;
        size_t rl = len - pl;
        if (IsDrive(rest, rl) || (rl == 2 && IsLetter(rest[0]) && rest[1] == L':')) {
            out->Add(rest, rl);
            return out->ok;
        }
        if (Starts(rest, rl, L"UNC\\")) {
            out->Add(L'\\');
            out->Add(rest + 3, rl - 3);
            return out->ok && DriveOfDeviceOrSelf(out);
        }
        if (Starts(rest, rl, L"unix\\"))
            return DriveOfUnixName(rest + 4, rl - 4, out);
        return false; // another device (a pipe, a volume by its name...)
    }
    if (Starts(p, len, L"\\Device\\")) {
        Text device;
        device.Add(p, len);
        if (!device.ok)
            return false;
        if (DriveOfDevice(device, out))
            return true;
        // A network path of no mapped drive is its UNC path.
        Text unc;
        Comparable(device.s, &unc);
        if (unc.n > 2 && unc.s[0] == L'\\' && unc.s[1] == L'\\') {
            *out = unc;
            return true;
        }
        return false;
    }
    if (IsDrive(p, len) || (len >= 2 && p[0] == L'\\' && p[1] == L'\\')) {
        out->Add(p, len);
        return out->ok && (p[0] != L'\\' || DriveOfDeviceOrSelf(out));
    }
    // A Win32 relative name (file.txt, ..\x, \x, C:x) against the current folder.
    wchar_t copy[kCap];
    if (len + 1 > kCap)
        return false;
    for (size_t i = 0; i < len; ++i)
        copy[i] = p[i];
    copy[len] = 0;
    DWORD n = GetFullPathNameW(copy, kCap, out->s, nullptr);
    if (n == 0 || n >= kCap)
        return false;
    out->n = n;
    return true;
}

} // namespace

size_t CanonicalFilePath(HANDLE rootDirectory, const wchar_t* name, size_t nameChars, wchar_t* out,
                         size_t outChars)
{
    if (!out || outChars == 0 || (!name && nameChars > 0) || nameChars > NAMES_MAX_CHARS)
        return 0;
    Text full;
    if (rootDirectory) {
        // The root's own name first: \??\C:\dir under Wine, a device path
        // (\Device\HarddiskVolume1\dir) on Windows.
        const Bound& f = Functions();
        if (!f.queryObject)
            return 0;
        alignas(8) unsigned char buffer[sizeof(UNICODE_STRING) + 2 * kCap];
        ULONG got = 0;
        if (f.queryObject(rootDirectory, kObjectNameInformation, buffer, sizeof(buffer), &got) < 0)
            return 0;
        const UNICODE_STRING* rootName = reinterpret_cast<const UNICODE_STRING*>(buffer);
        if (!rootName->Buffer || rootName->Length == 0)
            return 0;
        full.Add(rootName->Buffer, rootName->Length / 2);
        if (nameChars > 0)
            full.Add(L'\\');
    }
    full.Add(name, nameChars);
    if (!full.ok || full.n == 0)
        return 0;
    for (size_t i = 0; i < full.n; ++i) {
        if (full.s[i] == L'/')
            full.s[i] = L'\\';
    }
    Text path;
    if (!Locate(full.s, full.n, &path) || !Normalise(&path))
        return 0;
    ExpandShortNames(&path);
    WineDrive(&path);
    if (!Normalise(&path) || path.n + 1 > outChars)
        return 0;
    for (size_t i = 0; i <= path.n; ++i)
        out[i] = path.s[i];
    return path.n;
}

size_t CanonicalImagePath(const wchar_t* ntPath, size_t pathChars, wchar_t* out, size_t outChars)
{
    return CanonicalFilePath(nullptr, ntPath, pathChars, out, outChars);
}

size_t CanonicalKeyPath(HANDLE key, wchar_t* out, size_t outChars)
{
    const Bound& f = Functions();
    if (!key || !out || outChars == 0 || !f.queryKey)
        return 0;
    // KEY_NAME_INFORMATION: the name's length in bytes, then the name.
    alignas(8) unsigned char buffer[sizeof(ULONG) + 2 * kCap];
    ULONG got = 0;
    if (f.queryKey(key, kKeyNameInformation, buffer, sizeof(buffer), &got) < 0)
        return 0;
    ULONG bytes = *reinterpret_cast<const ULONG*>(buffer);
    size_t chars = bytes / 2;
    if (bytes > sizeof(buffer) - sizeof(ULONG) || chars + 1 > outChars || chars == 0)
        return 0;
    const wchar_t* name = reinterpret_cast<const wchar_t*>(buffer + sizeof(ULONG));
    for (size_t i = 0; i < chars; ++i)
        out[i] = name[i];
    out[chars] = 0;
    return chars;
}
