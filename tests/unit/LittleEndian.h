// Little-endian byte writers for the tests that spell out records byte by
// byte (parameter lists, rule table images).
#pragma once

#include <cstdint>
#include <vector>

namespace bytes {

inline void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// UTF-16 text with its NUL.
inline void PutText(std::vector<uint8_t>& out, const wchar_t* text)
{
    for (const wchar_t* p = text;; ++p) {
        out.push_back(static_cast<uint8_t>(*p & 0xFF));
        out.push_back(static_cast<uint8_t>(*p >> 8));
        if (!*p)
            break;
    }
}

} // namespace bytes
