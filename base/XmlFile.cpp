#include "base/XmlFile.h"

#include <windows.h>

#include <stdio.h>

#include <tinyxml.h>

namespace {

// A UTF-8 sequence is at most four bytes: the parser may step up to three
// bytes past a NUL that follows a lead byte.
constexpr size_t kPadding = 8;

} // namespace

bool ParseXmlText(TiXmlDocument* document, std::string text)
{
    document->Clear();
    size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    if (text.empty()) {
        document->SetError(TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    // CR LF and a lone CR become LF, as the XML rules for line ends ask.
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] == '\r') {
            text[out++] = '\n';
            if (in + 1 < text.size() && text[in + 1] == '\n')
                ++in;
        } else {
            text[out++] = text[in];
        }
    }
    text.resize(out);
    text.append(kPadding, '\0');
    document->Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document->Error();
}

bool LoadXmlFile(TiXmlDocument* document, const wchar_t* path)
{
    FILE* file = path ? _wfopen(path, L"rb") : nullptr;
    if (!file) {
        document->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        text.append(chunk, got);
    bool readWhole = !ferror(file);
    fclose(file);
    if (!readWhole) {
        document->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    return ParseXmlText(document, std::move(text));
}

std::optional<std::string> OptionalAttribute(const TiXmlElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    if (!value)
        return std::nullopt;
    return std::string(value);
}
