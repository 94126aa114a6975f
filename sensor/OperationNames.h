// What the sensor hands the driver as an operation's parameters: a name taken
// from the arguments a program passed, written into a fixed field of the
// injection record (cut to the field, always terminated). Every reading of
// the program's memory is checked first, so an unreadable name is reported,
// never touched.
#pragma once

#include "sensor/NativeCalls.h"

namespace sensor {

enum class NameResult {
    Named,      // the field holds the name
    NoName,     // nothing to ask about: the system answers the call itself
    Unreadable, // the program's memory could not be read: let through, traced
};

// A file open's canonical drive path (C:\x) from its object attributes; when
// it cannot be resolved, the object name with "\??\" taken off, joined to the
// root directory's name when relative.
NameResult FileNameForDriver(const OBJECT_ATTRIBUTES* attributes, uint16_t* field, size_t chars);
// A value set's full key name (\REGISTRY\MACHINE\...), from the key handle.
NameResult KeyNameForDriver(HANDLE key, uint16_t* field, size_t chars);
// A value name (may be empty: the key's default value).
NameResult ValueNameForDriver(const UNICODE_STRING* name, uint16_t* field, size_t chars);
// A program start's image path, from the attribute list's image name or the
// process parameters' image path.
NameResult ImageNameForDriver(const void* attributeList, const void* parameters, uint16_t* field,
                              size_t chars);

// True when `bytes` bytes at `address` are committed and readable now.
bool IsReadable(const void* address, size_t bytes);

} // namespace sensor
