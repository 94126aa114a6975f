// CPathString: the wide path value through which both programs build and tidy
// file-system paths. Each cleaning step is a thin layer over a shell path
// function (shlwapi) or a kernel function; every file kept beside the program
// is FolderOf(ModulePath()) with Append of its name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CPathString {
public:
    // Steps of Clean(); Clean runs the selected steps in a fixed order,
    // whatever order the bits are combined in.
    enum : uint32_t {
        CLEAN_TRIM = 0x001,              // Trim (and a left trim before RemoveArgs)
        CLEAN_UNQUOTE = 0x002,           // Unquote
        CLEAN_TRIM_QUOTED = 0x004,       // Trim again after Unquote
        CLEAN_CANONICALIZE = 0x008,      // Canonicalize
        CLEAN_STRIP_LONG_PREFIX = 0x010, // StripLongPrefix
        CLEAN_SLASHES = 0x020,           // SlashesToBackslashes
        CLEAN_MAKE_PRETTY = 0x040,       // MakePretty
        CLEAN_REMOVE_ARGS = 0x080,       // RemoveArgs
        CLEAN_ICON_LOCATION = 0x100,     // RemoveIconIndex
        CLEAN_EXPAND_ENV = 0x200,        // ExpandEnvironment
        // Trim, unquote, trim inside the quotes, expand environment
        // variables, canonicalize, strip the long-path prefix. Leaves
        // forward slashes and letter case alone.
        CLEAN_DEFAULT = 0x21F,
    };

    CPathString() = default;
    // Copies the text, then applies Clean(flags).
    CPathString(const wchar_t* text, uint32_t flags = 0);
    CPathString(const std::wstring& text, uint32_t flags = 0);

    CPathString& operator=(const wchar_t* text);
    CPathString& operator=(const std::wstring& text);

    operator const std::wstring&() const { return m_text; }
    const std::wstring& str() const { return m_text; }
    const wchar_t* c_str() const { return m_text.c_str(); }
    size_t length() const { return m_text.length(); }
    bool empty() const { return m_text.empty(); }

    bool operator==(const CPathString& other) const { return m_text == other.m_text; }
    bool operator!=(const CPathString& other) const { return m_text != other.m_text; }

    // Applies the steps selected by flags (above) in this order: remove
    // arguments, remove icon index, trim, unquote (and trim), expand
    // environment, canonicalize, strip long prefix, slashes, make pretty.
    CPathString& Clean(uint32_t flags);

    // Removes leading and trailing white space (iswspace).
    CPathString& Trim();
    // Removes a double quote at both ends; a lone double quote becomes empty.
    CPathString& Unquote();
    // PathCanonicalizeW, only when the text contains "\.". A text the shell
    // function refuses (too long) is left as it is.
    CPathString& Canonicalize();
    // \\?\C:\x becomes C:\x; \\?\UNC\srv\share becomes \\srv\share; any other
    // text (a volume path behind the prefix, for one) is unchanged.
    CPathString& StripLongPrefix();
    // Replaces every '/' with '\'; returns the number of characters replaced.
    int SlashesToBackslashes();
    // PathMakePrettyW: an all-capitals path becomes lower case.
    CPathString& MakePretty();
    // PathRemoveArgsW: drops command-line arguments after the program path.
    CPathString& RemoveArgs();
    // PathParseIconLocationW: drops a trailing ",index"; the index is lost.
    CPathString& RemoveIconIndex();
    // ExpandEnvironmentStringsW; the text is unchanged when the call fails.
    CPathString& ExpandEnvironment();
    // PathAddBackslashW when the text does not already end with '\'.
    CPathString& AddBackslash();
    // PathAppendW with one backslash between the parts; a null or empty
    // component only adds the trailing backslash.
    CPathString& Append(const wchar_t* component);
    CPathString& Append(const std::wstring& component) { return Append(component.c_str()); }

    // A copy of path with Append(component); path is unchanged.
    static CPathString Combine(const CPathString& path, const wchar_t* component);
    // The text before the file-name part, cleaned with CLEAN_DEFAULT and
    // keeping its trailing backslash: C:\dir\file.exe gives C:\dir\, and
    // C:\dir\sub\ gives C:\dir\. A bare file name gives an empty path.
    static CPathString FolderOf(const CPathString& path);
    // The running program's file path, cleaned with CLEAN_DEFAULT; empty when
    // it cannot be had in 260 characters.
    static CPathString ModulePath();
    // Zeroes data and fills it with GetFileAttributesExW; true on success.
    // The existence and size test of a file.
    static bool GetAttributes(const CPathString& path, WIN32_FILE_ATTRIBUTE_DATA* data);

    // The program folder with a final backslash: `chosen` when it is not
    // empty (tests and the settings pick one), else the running program's
    // folder. Every file of the program folder is this plus its name.
    static std::wstring ProgramFolder(const std::wstring& chosen = std::wstring());

private:
    // Takes the NUL-terminated text that a shell function left in m_text.
    void TrimToTerminator();

    std::wstring m_text;
};
