#include "rules/ParamList.h"

#include "rules/OperationKinds.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// One entry as the format describes it.
struct EntryShape {
    uint32_t type;
    uint32_t number;     // Integer
    const wchar_t* text; // String, Wildcards, Path
    uint32_t size;       // whole entry
};

// Reads the next letter's argument. False for a letter that is not a format
// letter (it takes no argument and makes no entry).
bool NextEntry(char letter, va_list& args, EntryShape* shape)
{
    shape->number = 0;
    shape->text = nullptr;
    switch (letter) {
    case '*':
        shape->type = ParamType::Any;
        shape->size = sizeof(PARAM_ENTRY);
        return true;
    case 'n':
        shape->type = ParamType::Integer;
        shape->number = va_arg(args, uint32_t);
        shape->size = sizeof(PARAM_ENTRY) + 4;
        return true;
    case 's':
    case 'w':
    case 'p': {
        shape->type = letter == 's' ? ParamType::String
                   : letter == 'w' ? ParamType::Wildcards
                                   : ParamType::Path;
        shape->text = va_arg(args, const wchar_t*);
        if (!shape->text)
            shape->text = L"";
        shape->size = static_cast<uint32_t>(sizeof(PARAM_ENTRY) + 2 * (wcslen(shape->text) + 1));
        return true;
    }
    default:
        return false;
    }
}

uint32_t LetterCount(const char* format)
{
    uint32_t n = 0;
    for (const char* p = format; p && *p; ++p) {
        if (*p == '*' || *p == 'n' || *p == 's' || *p == 'w' || *p == 'p')
            ++n;
    }
    return n;
}

uint8_t* Bytes(PARAM_LIST* list) { return reinterpret_cast<uint8_t*>(list); }
const uint8_t* Bytes(const PARAM_LIST* list) { return reinterpret_cast<const uint8_t*>(list); }

// Copies at most capacity - 1 characters and the NUL; returns the length copied.
int CopyCut(wchar_t* buffer, int capacity, const wchar_t* text)
{
    if (!buffer || capacity <= 0)
        return 0;
    int n = 0;
    while (n < capacity - 1 && text[n]) {
        buffer[n] = text[n];
        ++n;
    }
    buffer[n] = L'\0';
    return n;
}

} // namespace

uint32_t ParamListSizeV(const char* format, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    uint32_t total = 0;
    EntryShape shape;
    for (const char* p = format; p && *p; ++p) {
        if (NextEntry(*p, ap, &shape))
            total += shape.size;
    }
    va_end(ap);
    return total;
}

uint32_t ParamListSize(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    uint32_t size = ParamListSizeV(format, args);
    va_end(args);
    return size;
}

int FillParamListV(PARAM_LIST* list, uint32_t kind, const char* format, va_list args)
{
    if (!list || list->size < PARAM_LIST_EMPTY_SIZE)
        return 0;
    uint32_t count = LetterCount(format);
    if (count > PARAM_MAX_ENTRIES)
        return 0;

    va_list ap;
    va_copy(ap, args);
    list->kind = kind;
    list->count = count;
    uint32_t running = PARAM_LIST_EMPTY_SIZE;
    uint32_t offset = 0;
    uint32_t index = 0;
    EntryShape shape;
    int ok = 1;
    for (const char* p = format; p && *p; ++p) {
        if (!NextEntry(*p, ap, &shape))
            continue;
        running += shape.size;
        if (running > list->size) {
            ok = 0;
            break;
        }
        list->offset[index] = offset;
        uint8_t* at = Bytes(list) + sizeof(PARAM_LIST) + offset;
        PARAM_ENTRY header = {shape.size, shape.type};
        memcpy(at, &header, sizeof(header));
        at += sizeof(header);
        if (shape.type == ParamType::Integer)
            memcpy(at, &shape.number, 4);
        else if (shape.text)
            memcpy(at, shape.text, shape.size - sizeof(PARAM_ENTRY));
        offset += shape.size;
        ++index;
    }
    va_end(ap);
    return ok;
}

int FillParamList(PARAM_LIST* list, uint32_t kind, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int ok = FillParamListV(list, kind, format, args);
    va_end(args);
    return ok;
}

PARAM_LIST* BuildParamListV(uint32_t kind, const char* format, va_list args)
{
    if (LetterCount(format) > PARAM_MAX_ENTRIES)
        return nullptr;
    uint32_t size = ParamListSizeV(format, args) + sizeof(PARAM_LIST) + 4;
    PARAM_LIST* list = static_cast<PARAM_LIST*>(calloc(1, size));
    if (!list)
        return nullptr;
    list->size = size;
    if (!FillParamListV(list, kind, format, args)) {
        free(list);
        return nullptr;
    }
    return list;
}

PARAM_LIST* BuildParamList(uint32_t kind, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    PARAM_LIST* list = BuildParamListV(kind, format, args);
    va_end(args);
    return list;
}

void FreeParamList(PARAM_LIST* list)
{
    free(list);
}

PARAM_LIST* CopyParamList(const PARAM_LIST* list)
{
    if (!list || list->size < sizeof(PARAM_LIST))
        return nullptr;
    PARAM_LIST* copy = static_cast<PARAM_LIST*>(malloc(list->size));
    if (copy)
        memcpy(copy, list, list->size);
    return copy;
}

const PARAM_ENTRY* ParamEntryAt(const PARAM_LIST* list, uint32_t index)
{
    if (!list || index >= list->count || index >= PARAM_MAX_ENTRIES)
        return nullptr;
    uint64_t start = uint64_t(sizeof(PARAM_LIST)) + list->offset[index];
    if (start + sizeof(PARAM_ENTRY) > list->size)
        return nullptr;
    const PARAM_ENTRY* entry = reinterpret_cast<const PARAM_ENTRY*>(Bytes(list) + start);
    if (entry->size < sizeof(PARAM_ENTRY) || start + entry->size > list->size)
        return nullptr;
    return entry;
}

const wchar_t* ParamEntryText(const PARAM_ENTRY* entry)
{
    if (!entry)
        return nullptr;
    if (entry->type != ParamType::String && entry->type != ParamType::Wildcards &&
        entry->type != ParamType::Path)
        return nullptr;
    // A text entry holds at least its NUL, and the NUL ends the value.
    uint32_t chars = (entry->size - sizeof(PARAM_ENTRY)) / 2;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(entry + 1);
    if (chars == 0 || text[chars - 1] != L'\0')
        return nullptr;
    return text;
}

uint32_t ParamEntryInteger(const PARAM_ENTRY* entry)
{
    if (!entry || entry->type != ParamType::Integer || entry->size < sizeof(PARAM_ENTRY) + 4)
        return 0;
    uint32_t value;
    memcpy(&value, entry + 1, 4);
    return value;
}

bool ParamListEqual(const PARAM_LIST* a, const PARAM_LIST* b)
{
    if (!a || !b)
        return a == b;
    if (a->kind != b->kind || a->count != b->count)
        return false;
    for (uint32_t i = 0; i < a->count; ++i) {
        const PARAM_ENTRY* ea = ParamEntryAt(a, i);
        const PARAM_ENTRY* eb = ParamEntryAt(b, i);
        if (!ea || !eb)
            return ea == eb;
        if (ea->type != eb->type || ea->size != eb->size)
            return false;
        if (memcmp(ea + 1, eb + 1, ea->size - sizeof(PARAM_ENTRY)) != 0)
            return false;
    }
    return true;
}

int FormatParam(const PARAM_LIST* list, uint32_t index, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return 0;
    if (!list || index >= list->count)
        return CopyCut(buffer, capacity, L"");
    const PARAM_ENTRY* entry = ParamEntryAt(list, index);
    if (!entry)
        return CopyCut(buffer, capacity, L"[Invalid param type]");
    switch (entry->type) {
    case ParamType::Any:
        return CopyCut(buffer, capacity, L"*");
    case ParamType::Integer: {
        wchar_t number[16];
        swprintf(number, 16, L"%u", ParamEntryInteger(entry));
        return CopyCut(buffer, capacity, number);
    }
    case ParamType::String:
    case ParamType::Wildcards:
    case ParamType::Path: {
        const wchar_t* text = ParamEntryText(entry);
        return CopyCut(buffer, capacity, text ? text : L"[Invalid param type]");
    }
    default:
        return CopyCut(buffer, capacity, L"[Invalid param type]");
    }
}

int FormatParamList(const PARAM_LIST* list, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return 0;
    int used = CopyCut(buffer, capacity, OperationDisplayName(list ? list->kind : OPERATION_KIND_COUNT));
    used += CopyCut(buffer + used, capacity - used, L" (");
    uint32_t count = list ? list->count : 0;
    if (count > PARAM_MAX_ENTRIES)
        count = PARAM_MAX_ENTRIES;
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            used += CopyCut(buffer + used, capacity - used, L", ");
        used += FormatParam(list, i, buffer + used, capacity - used);
    }
    used += CopyCut(buffer + used, capacity - used, L")");
    return used + 1;
}
