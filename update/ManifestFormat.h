// The update manifest "UpdateInfo.xml" as data: the parser over the file's
// bytes and the reading of its numbers. Plain code over TinyXML with no system
// calls, so that it can be called on any platform (fuzzing included).
//
//   <Harrowmere_Update>
//     <FileList>
//       <File Name="a.dll" LocalPath="sub" Size="1024" Crc="-12345"
//             DownloadUrl="http://host/a.dll" />
//     </FileList>
//   </Harrowmere_Update>
//
// Every child element of "FileList" is an entry, whatever its name. Attribute
// values are kept as the file's bytes (system ANSI code page).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ManifestEntry {
    std::optional<std::string> name;        // "Name": file name of the installed file
    std::optional<std::string> localPath;   // "LocalPath": its folder under the program folder
    std::optional<std::string> size;        // "Size": decimal byte count, as written
    std::optional<std::string> crc;         // "Crc": signed decimal CRC-32, as written
    std::optional<std::string> downloadUrl; // "DownloadUrl": address of the file
};

// Outcomes of reading a manifest, in the order they are tested.
enum ManifestResult {
    MANIFEST_OK = 0,
    MANIFEST_UNREADABLE = -1,   // the file cannot be read, or is not XML
    MANIFEST_NO_ELEMENT = -2,   // the document has no element
    MANIFEST_WRONG_ROOT = -3,   // the first element is not "Harrowmere_Update"
    MANIFEST_NO_FILE_LIST = -4, // it has no "FileList" child
};

// Parses `size` bytes of manifest text into `entries` (in document order).
// A ManifestResult; `entries` is filled only on MANIFEST_OK.
int ParseManifest(const char* data, size_t size, std::vector<ManifestEntry>* entries);

// A decimal number as the C library's strtol reads it with a 32-bit long:
// leading white space and a sign are accepted, text that is not a number
// reads as 0, values outside the signed 32-bit range are clamped to
// 2147483647 or -2147483648.
int32_t ParseDecimal32(const std::string& text);
