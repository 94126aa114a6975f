#include "sysview/FileVersionInfo.h"

#include <cstring>
#include <cwchar>

namespace {

const wchar_t* const kEntryNames[CFileVersionInfo::kEntryCount] = {
    L"CompanyName",    L"FileDescription", L"FileVersion",    L"InternalName", L"LegalCopyright", L"OriginalFileName",
    L"ProductName",    L"ProductVersion",  L"Comments",       L"LegalTrademarks", L"PrivateBuild", L"SpecialBuild",
};

// The entry for `language`: exact, else the first with the same low byte.
int FindLanguage(const std::vector<uint32_t>& translations, LANGID language)
{
    for (size_t i = 0; i < translations.size(); ++i) {
        if (LOWORD(translations[i]) == language)
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < translations.size(); ++i) {
        if ((LOWORD(translations[i]) & 0xFF) == (language & 0xFF))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

int ChooseTranslation(const std::vector<uint32_t>& translations, LANGID userLanguage)
{
    if (translations.empty())
        return -1;
    for (LANGID language : { userLanguage, LANGID(0), LANGID(LANG_ENGLISH) }) {
        int i = FindLanguage(translations, language);
        if (i >= 0)
            return i;
    }
    return 0;
}

void CFileVersionInfo::Reset()
{
    std::memset(&m_fixed, 0, sizeof(m_fixed));
    for (std::wstring& text : m_text)
        text.clear();
    m_prefix.clear();
}

bool CFileVersionInfo::Load(const std::wstring& path, LANGID userLanguage)
{
    Reset();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return false;
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return false;

    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", &value, &length) && length == sizeof(m_fixed))
        std::memcpy(&m_fixed, value, sizeof(m_fixed));

    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < sizeof(uint32_t))
        return true;
    std::vector<uint32_t> translations(length / sizeof(uint32_t));
    std::memcpy(translations.data(), value, translations.size() * sizeof(uint32_t));
    uint32_t chosen = translations[ChooseTranslation(translations, userLanguage)];

    wchar_t prefix[64];
    swprintf(prefix, 64, L"\\StringFileInfo\\%04X%04X\\", LOWORD(chosen), HIWORD(chosen));
    m_prefix = prefix;
    for (int i = 0; i < kEntryCount; ++i) {
        std::wstring key = m_prefix + kEntryNames[i];
        if (VerQueryValueW(block.data(), key.c_str(), &value, &length) && value && length > 0) {
            // The length counts characters, with the terminating NUL where
            // the resource stores one; the text ends at the first NUL.
            const wchar_t* text = static_cast<const wchar_t*>(value);
            m_text[i].assign(text, wcsnlen(text, length));
        }
    }
    return true;
}
