#include "update/ManifestFormat.h"

#include "base/XmlFile.h"

#include <tinyxml.h>

#include <climits>
#include <cstdlib>
#include <cstring>

int ParseManifest(const char* data, size_t size, std::vector<ManifestEntry>* entries, MANIFEST_HEADER* header)
{
    if (!data || !entries)
        return MANIFEST_UNREADABLE;
    // Parsed from a padded copy: the bytes come from the network, and TinyXML
    // reads past the end of a bare text that stops inside a UTF-8 sequence.
    // A NUL inside the data ends the text there, as it would for a file.
    TiXmlDocument document;
    if (!ParseXmlText(&document, std::string(data, size)))
        return MANIFEST_UNREADABLE;
    const TiXmlElement* root = document.FirstChildElement();
    if (!root)
        return MANIFEST_NO_ELEMENT;
    // Only the first element counts, and its name must match exactly.
    if (std::strcmp(root->Value(), "Harrowmere_Update") != 0)
        return MANIFEST_WRONG_ROOT;
    const TiXmlElement* list = root->FirstChildElement("FileList");
    if (!list)
        return MANIFEST_NO_FILE_LIST;

    std::vector<ManifestEntry> out;
    for (const TiXmlElement* e = list->FirstChildElement(); e; e = e->NextSiblingElement()) {
        ManifestEntry entry;
        entry.name = OptionalAttribute(e, "Name");
        entry.localPath = OptionalAttribute(e, "LocalPath");
        entry.size = OptionalAttribute(e, "Size");
        entry.crc = OptionalAttribute(e, "Crc");
        entry.downloadUrl = OptionalAttribute(e, "DownloadUrl");
        entry.sha256 = OptionalAttribute(e, "Sha256");
        out.push_back(std::move(entry));
    }
    entries->swap(out);
    if (header) {
        header->serial = OptionalAttribute(root, "Serial");
        header->expires = OptionalAttribute(root, "Expires");
        header->arch = OptionalAttribute(root, "Arch");
    }
    return MANIFEST_OK;
}

const char* ProgramArch()
{
#if defined(_WIN64) || defined(__x86_64__)
    return "x64";
#else
    return "x86";
#endif
}

bool IsSha256Text(const std::string& text)
{
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

int CheckManifestTrust(const MANIFEST_HEADER& header, const FRESHNESS_FLOOR& floor, const char* arch,
                       uint64_t* serial)
{
    if (CheckFreshness(header.serial, header.expires, floor, serial) != FRESH_OK)
        return MANIFEST_UNTRUSTED;
    if (!header.arch || !arch || *header.arch != arch)
        return MANIFEST_UNTRUSTED;
    return MANIFEST_OK;
}

int32_t ParseDecimal32(const std::string& text)
{
    // strtoll and a clamp give the 32-bit strtol result on every platform,
    // whatever the width of long there.
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}
