// XML text and files for TinyXML, read so that the parser never reads past
// the end of the text. TinyXML's own LoadFile hands it a buffer that ends
// right after the text: at a UTF-8 lead byte in the last bytes (an attribute
// or text left open at the end of a file) the parser skips the whole
// sequence, its terminating NUL included, and reads on beyond the buffer.
// Every XML file the program reads (rules, settings, manifest, feed) goes
// through here.
#pragma once

#include <optional>
#include <string>

class TiXmlDocument;
class TiXmlElement;

// Parses `text` as TinyXML's LoadFile would (line ends normalised to LF, the
// text ending at its first NUL) from a buffer padded with NULs. True when
// the document parsed without error.
bool ParseXmlText(TiXmlDocument* document, std::string text);

// Reads the file and parses it with ParseXmlText. False for a missing,
// unreadable or empty file, or a document in error.
bool LoadXmlFile(TiXmlDocument* document, const wchar_t* path);

// The attribute's value as the file's bytes, or nothing when it is absent
// (an empty value is present).
std::optional<std::string> OptionalAttribute(const TiXmlElement* element, const char* name);
