// CFileVersionInfo: the version resource of a program or module file: the
// fixed version record and the twelve standard text entries, read in the
// language of the resource that best fits the user.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class CFileVersionInfo {
public:
    // The text entries, in the order they are kept; each name is also the
    // entry's query key.
    enum Entry {
        CompanyName,
        FileDescription,
        FileVersion,
        InternalName,
        LegalCopyright,
        OriginalFileName,
        ProductName,
        ProductVersion,
        Comments,
        LegalTrademarks,
        PrivateBuild,
        SpecialBuild,
        kEntryCount
    };

    CFileVersionInfo() { Reset(); }
    virtual ~CFileVersionInfo() = default;

    // Zeroes the fixed record and empties every text.
    virtual void Reset();
    // Reads the version resource of `path` for the user's language. False,
    // with everything empty, when the file has none or cannot be read.
    bool Load(const std::wstring& path) { return Load(path, GetUserDefaultLangID()); }
    bool Load(const std::wstring& path, LANGID userLanguage);

    std::wstring GetCompanyName() const { return m_text[CompanyName]; }
    std::wstring GetFileDescription() const { return m_text[FileDescription]; }
    const std::wstring& Text(Entry entry) const { return m_text[entry]; }
    const VS_FIXEDFILEINFO& Fixed() const { return m_fixed; }
    // The "\StringFileInfo\llllcccc\" prefix of the last successful load
    // (empty when no texts were read).
    const std::wstring& Prefix() const { return m_prefix; }

private:
    VS_FIXEDFILEINFO m_fixed;
    std::wstring m_text[kEntryCount];
    std::wstring m_prefix;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "fixed version record");

// The translation entry to read: each entry holds a language id (low 16 bits)
// and a code page (high 16 bits). In this order: the user's language exactly;
// the first entry with the same primary language (low byte); language 0, or
// the first with low byte 0; English (9), or the first English variant; the
// first entry. -1 for an empty table.
int ChooseTranslation(const std::vector<uint32_t>& translations, LANGID userLanguage);
