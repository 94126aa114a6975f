// Text conversions between the program's UTF-16 text and the narrow encodings
// it meets: the system ANSI code page (driver process names, XML attributes,
// paths for narrow interfaces) and UTF-8 (the log file).
#pragma once

#include <string>

// len < 0 means "up to the terminating NUL".
std::wstring AnsiToWide(const char* text, int len = -1);
std::string WideToAnsi(const wchar_t* text, int len = -1);
std::wstring Utf8ToWide(const char* text, int len = -1);
std::string WideToUtf8(const wchar_t* text, int len = -1);

// The text in the system ANSI code page, when every character has a place in
// it: false (and `out` unchanged) when a character would be replaced by the
// default character or by a look-alike ("best fit"), as WideToAnsi replaces it.
bool WideToAnsiExact(const std::wstring& text, std::string* out);

inline std::wstring AnsiToWide(const std::string& s) { return AnsiToWide(s.data(), static_cast<int>(s.size())); }
inline std::string WideToAnsi(const std::wstring& s) { return WideToAnsi(s.data(), static_cast<int>(s.size())); }
inline std::wstring Utf8ToWide(const std::string& s) { return Utf8ToWide(s.data(), static_cast<int>(s.size())); }
inline std::string WideToUtf8(const std::wstring& s) { return WideToUtf8(s.data(), static_cast<int>(s.size())); }
