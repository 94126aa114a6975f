#include "update/ManifestFormat.h"

#include "base/XmlFile.h"

#include <tinyxml.h>

#include <climits>
#include <cstdlib>
#include <cstring>

int ParseManifest(const char* data, size_t size, std::vector<ManifestEntry>* entries)
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
        out.push_back(std::move(entry));
    }
    entries->swap(out);
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
