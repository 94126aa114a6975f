// The update manifest "UpdateInfo.xml" as data: the parser over the file's
// bytes and the reading of its numbers. Plain code over TinyXML with no system
// calls, so that it can be called on any platform (fuzzing included).
//
//   <Harrowmere_Update Serial="42" Expires="2027-01-31" Arch="x64">
//     <FileList>
//       <File Name="a.dll" LocalPath="sub" Size="1024" Crc="-12345"
//             Sha256="64 hex digits" DownloadUrl="http://host/a.dll" />
//     </FileList>
//   </Harrowmere_Update>
//
// Every child element of "FileList" is an entry, whatever its name. Attribute
// values are kept as the file's bytes (system ANSI code page).
#pragma once

#include "net/Freshness.h"

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
    std::optional<std::string> sha256;      // "Sha256": SHA-256 of the file, 64 hex digits
};

// The attributes of "Harrowmere_Update" that the signature vouches for.
struct MANIFEST_HEADER {
    std::optional<std::string> serial;  // "Serial": decimal, grows with every manifest
    std::optional<std::string> expires; // "Expires": UTC date after which it installs nothing
    std::optional<std::string> arch;    // "Arch": "x86" or "x64"
};

// Outcomes of reading a manifest, in the order they are tested.
enum ManifestResult {
    MANIFEST_OK = 0,
    MANIFEST_UNREADABLE = -1,   // the file cannot be read, or is not XML
    MANIFEST_NO_ELEMENT = -2,   // the document has no element
    MANIFEST_WRONG_ROOT = -3,   // the first element is not "Harrowmere_Update"
    MANIFEST_NO_FILE_LIST = -4, // it has no "FileList" child
    MANIFEST_UNTRUSTED = -5,    // the signature, serial, expiry, architecture or a hash is not right
};

// Parses `size` bytes of manifest text into `entries` (in document order).
// A ManifestResult; `entries` and `header` are filled only on MANIFEST_OK.
int ParseManifest(const char* data, size_t size, std::vector<ManifestEntry>* entries,
                  MANIFEST_HEADER* header = nullptr);

// The architecture a manifest must name: "x64" in the 64-bit build, "x86"
// in the 32-bit one.
const char* ProgramArch();

// Whether a parsed manifest may be acted on, beyond its signature: its
// serial is above the floor and it has not expired (net/Freshness.h), and
// its "Arch" is `arch`. MANIFEST_OK or MANIFEST_UNTRUSTED; `serial`
// receives the serial. (A file is fetched or installed only when its entry
// carries a "Sha256" that its bytes match.)
int CheckManifestTrust(const MANIFEST_HEADER& header, const FRESHNESS_FLOOR& floor, const char* arch,
                       uint64_t* serial = nullptr);

// 64 hex digits (either case).
bool IsSha256Text(const std::string& text);

// A decimal number as the C library's strtol reads it with a 32-bit long:
// leading white space and a sign are accepted, text that is not a number
// reads as 0, values outside the signed 32-bit range are clamped to
// 2147483647 or -2147483648.
int32_t ParseDecimal32(const std::string& text);
