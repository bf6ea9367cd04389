// Text conversions and comparisons of the platform layer: the same on every system.
#include "platform/KivText.h"

namespace {

// Appends the UTF-8 form of one code point (invalid ones become U+FFFD).
void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes the code point at s[i], advancing i; malformed sequences give U+FFFD and consume one byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int n = 0;
    char32_t c = 0, min = 0;
    if ((b & 0xE0) == 0xC0) {
        n = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 3, c = b & 0x07, min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (s.size() - i <= static_cast<size_t>(n)) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= n; ++k) {
        auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<size_t>(n) + 1;
    return c;
}

}  // namespace

std::u16string KivUtf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t c = NextUtf8(s, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string KivUtf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);  // a lone surrogate becomes U+FFFD
    }
    return out;
}

std::wstring KivUtf8ToWide(std::string_view s) {
    if constexpr (sizeof(wchar_t) == 2) {
        std::u16string u = KivUtf8ToUtf16(s);
        return std::wstring(u.begin(), u.end());
    }
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out += static_cast<wchar_t>(NextUtf8(s, i));
    return out;
}

std::string KivWideToUtf8(std::wstring_view s) {
    if constexpr (sizeof(wchar_t) == 2) return KivUtf16ToUtf8(std::u16string(s.begin(), s.end()));
    std::string out;
    out.reserve(s.size());
    for (wchar_t w : s) AppendUtf8(out, static_cast<char32_t>(w));
    return out;
}

int KivStrICmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int x = KivAsciiLower(*a), y = KivAsciiLower(*b);
        if (x != y || !x) return x - y;
    }
}

int KivStrNICmp(const char* a, const char* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        int x = KivAsciiLower(*a), y = KivAsciiLower(*b);
        if (x != y || !x) return x - y;
    }
    return 0;
}
