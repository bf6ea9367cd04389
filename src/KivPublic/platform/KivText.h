// Text conversions and ASCII comparisons, the same on every platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Invalid input is replaced (U+FFFD), never an error. wchar_t text is UTF-16 where wchar_t has
// 16 bits (Windows) and UTF-32 elsewhere.
std::u16string KivUtf8ToUtf16(std::string_view s);
std::string KivUtf16ToUtf8(std::u16string_view s);
std::wstring KivUtf8ToWide(std::string_view s);
std::string KivWideToUtf8(std::wstring_view s);

inline int KivAsciiLower(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? u + 32 : u;
}
// strcasecmp and strncasecmp for ASCII letters, whatever the locale.
int KivStrICmp(const char* a, const char* b);
int KivStrNICmp(const char* a, const char* b, size_t n);
