// The names the sensor asks about: the canonical name of what the program
// named (one drive path per file, one kernel name per key, one drive path per
// image), so that a rule applies to every spelling of it. When a name cannot
// be resolved (a pipe, another device, a name too long), the name as the
// program gave it is asked about instead, never refused for that alone.
#include "sensor/OperationNames.h"

#include "names/CanonicalName.h"

namespace sensor {

namespace {

const wchar_t kObjectPrefix[] = L"\\??\\";
const size_t kObjectPrefixChars = 4;
// Room for a root directory's or a key's name; a longer one is cut.
const size_t kQueryChars = 1024;

bool StartsWith(const wchar_t* text, size_t chars, const wchar_t* prefix, size_t prefixChars)
{
    if (chars < prefixChars)
        return false;
    for (size_t i = 0; i < prefixChars; ++i)
        if (text[i] != prefix[i])
            return false;
    return true;
}

// Appends `chars` characters to the field at `*used`, cut to leave room for
// the NUL, and terminates it.
void Append(uint16_t* field, size_t capacity, size_t* used, const wchar_t* text, size_t chars)
{
    size_t n = *used;
    for (size_t i = 0; i < chars && n + 1 < capacity; ++i)
        field[n++] = static_cast<uint16_t>(text[i]);
    field[n] = 0;
    *used = n;
}

// An object name without the "\??\" of Wine's and the system's NT paths.
void AppendObjectName(uint16_t* field, size_t capacity, size_t* used, const wchar_t* text, size_t chars)
{
    if (StartsWith(text, chars, kObjectPrefix, kObjectPrefixChars)) {
        text += kObjectPrefixChars;
        chars -= kObjectPrefixChars;
    }
    Append(field, capacity, used, text, chars);
}

// An image path as its drive path when it resolves, else as given.
void AppendImageName(uint16_t* field, size_t capacity, size_t* used, const wchar_t* text, size_t chars)
{
    wchar_t canonical[NAMES_MAX_CHARS];
    size_t n = CanonicalImagePath(text, chars, canonical, NAMES_MAX_CHARS);
    if (n)
        Append(field, capacity, used, canonical, n);
    else
        AppendObjectName(field, capacity, used, text, chars);
}

// A counted string the program passed: readable, even length, within its
// maximum. Anything else is the system's to answer.
NameResult CheckString(const UNICODE_STRING* s)
{
    if (!IsReadable(s, sizeof(*s)))
        return NameResult::Unreadable;
    if (s->Length % 2 != 0 || s->Length > s->MaximumLength)
        return NameResult::NoName;
    if (s->Length && !IsReadable(s->Buffer, s->Length))
        return NameResult::Unreadable;
    return NameResult::Named;
}

} // namespace

bool IsReadable(const void* address, size_t bytes)
{
    if (!address)
        return false;
    const char* p = static_cast<const char*>(address);
    const char* end = p + bytes;
    if (end < p)
        return false;
    while (p < end) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(p, &info, sizeof(info)) || info.State != MEM_COMMIT)
            return false;
        DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (!(info.Protect & readable) || (info.Protect & PAGE_GUARD))
            return false;
        const char* regionEnd = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (regionEnd <= p)
            return false;
        p = regionEnd;
    }
    return true;
}

NameResult FileNameForDriver(const OBJECT_ATTRIBUTES* attributes, uint16_t* field, size_t chars)
{
    field[0] = 0;
    if (!attributes)
        return NameResult::NoName;
    if (!IsReadable(attributes, sizeof(*attributes)))
        return NameResult::Unreadable;
    const UNICODE_STRING* name = attributes->ObjectName;
    if (!name)
        return NameResult::NoName;
    NameResult checked = CheckString(name);
    if (checked != NameResult::Named)
        return checked;
    if (name->Length == 0)
        return NameResult::NoName; // a reopen of the root handle itself
    size_t used = 0;
    {
        wchar_t canonical[NAMES_MAX_CHARS];
        size_t n = CanonicalFilePath(attributes->RootDirectory, name->Buffer, name->Length / sizeof(wchar_t),
                                     canonical, NAMES_MAX_CHARS);
        if (n) {
            Append(field, chars, &used, canonical, n);
            return NameResult::Named;
        }
    }
    if (attributes->RootDirectory) {
        // Relative to an open directory: its name first, when the system
        // tells it; otherwise the relative name alone is asked about.
        union {
            OBJECT_NAME_INFORMATION info;
            wchar_t room[kQueryChars + sizeof(OBJECT_NAME_INFORMATION) / sizeof(wchar_t)];
        } root;
        ULONG returned = 0;
        if (NtQueryObject(attributes->RootDirectory, static_cast<OBJECT_INFORMATION_CLASS>(kObjectNameInformation),
                          &root, sizeof(root), &returned) == kStatusSuccess &&
            root.info.Name.Buffer) {
            size_t rootChars = root.info.Name.Length / sizeof(wchar_t);
            AppendObjectName(field, chars, &used, root.info.Name.Buffer, rootChars);
            if (used && field[used - 1] != L'\\')
                Append(field, chars, &used, L"\\", 1);
        }
        Append(field, chars, &used, name->Buffer, name->Length / sizeof(wchar_t));
        return NameResult::Named;
    }
    AppendObjectName(field, chars, &used, name->Buffer, name->Length / sizeof(wchar_t));
    return NameResult::Named;
}

NameResult KeyNameForDriver(HANDLE key, uint16_t* field, size_t chars)
{
    field[0] = 0;
    {
        wchar_t canonical[NAMES_MAX_CHARS];
        size_t n = CanonicalKeyPath(key, canonical, NAMES_MAX_CHARS);
        if (n) {
            size_t used = 0;
            Append(field, chars, &used, canonical, n);
            return NameResult::Named;
        }
    }
    union {
        struct {
            ULONG nameLength;
            wchar_t name[1];
        } info;
        wchar_t room[kQueryChars + 2];
    } buffer;
    ULONG returned = 0;
    NTSTATUS status = NtQueryKey(key, kKeyNameInformation, &buffer, sizeof(buffer), &returned);
    // A name longer than the buffer comes back cut (buffer overflow, a
    // warning): the cut name is still the key's own beginning.
    const NTSTATUS kBufferOverflow = static_cast<NTSTATUS>(0x80000005L);
    if (status != kStatusSuccess && status != kBufferOverflow)
        return NameResult::NoName; // not a key: the system refuses the call itself
    size_t nameChars = buffer.info.nameLength / sizeof(wchar_t);
    size_t room = (sizeof(buffer) - sizeof(ULONG)) / sizeof(wchar_t);
    if (nameChars > room)
        nameChars = room;
    size_t used = 0;
    Append(field, chars, &used, buffer.info.name, nameChars);
    return NameResult::Named;
}

NameResult ValueNameForDriver(const UNICODE_STRING* name, uint16_t* field, size_t chars)
{
    field[0] = 0;
    if (!name)
        return NameResult::NoName;
    NameResult checked = CheckString(name);
    if (checked != NameResult::Named)
        return checked;
    size_t used = 0;
    Append(field, chars, &used, name->Buffer, name->Length / sizeof(wchar_t));
    return NameResult::Named;
}

NameResult ImageNameForDriver(const void* attributeList, const void* parameters, uint16_t* field, size_t chars)
{
    field[0] = 0;
    size_t used = 0;
    const PS_ATTRIBUTE_LIST_HEAD* list = static_cast<const PS_ATTRIBUTE_LIST_HEAD*>(attributeList);
    if (list && IsReadable(list, sizeof(SIZE_T)) && IsReadable(list, list->totalLength)) {
        size_t count = (list->totalLength - sizeof(SIZE_T)) / sizeof(PS_ATTRIBUTE_ENTRY);
        for (size_t i = 0; i < count; ++i) {
            const PS_ATTRIBUTE_ENTRY& a = list->attributes[i];
            if (a.attribute != kPsAttributeImageName || a.size % 2 != 0)
                continue;
            const wchar_t* text = reinterpret_cast<const wchar_t*>(a.value);
            if (!a.size || !IsReadable(text, a.size))
                return NameResult::Unreadable;
            size_t n = a.size / sizeof(wchar_t);
            while (n && text[n - 1] == 0)
                --n;
            AppendImageName(field, chars, &used, text, n);
            return NameResult::Named;
        }
    }
    const PROCESS_PARAMETERS_HEAD* params = static_cast<const PROCESS_PARAMETERS_HEAD*>(parameters);
    if (!params)
        return NameResult::NoName;
    if (!IsReadable(params, sizeof(*params)))
        return NameResult::Unreadable;
    UNICODE_STRING image = params->imagePathName;
    if (!(params->flags & kProcessParametersNormalized) && image.Buffer)
        image.Buffer = reinterpret_cast<PWSTR>(const_cast<char*>(reinterpret_cast<const char*>(params)) +
                                               reinterpret_cast<ULONG_PTR>(image.Buffer));
    NameResult checked = CheckString(&image);
    if (checked != NameResult::Named)
        return checked;
    AppendImageName(field, chars, &used, image.Buffer, image.Length / sizeof(wchar_t));
    return used ? NameResult::Named : NameResult::NoName;
}

} // namespace sensor
