// Small comparisons shared by the format analysers; all are bounds-checked and answer false when
// the bytes are not there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

inline bool KivBytesAt(std::span<const uint8_t> data, size_t off, std::string_view s) {
    return off <= data.size() && s.size() <= data.size() - off && std::memcmp(data.data() + off, s.data(), s.size()) == 0;
}

inline bool KivBytesAtNoCase(std::span<const uint8_t> data, size_t off, std::string_view s) {
    if (off > data.size() || s.size() > data.size() - off) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        uint8_t a = data[off + i], b = static_cast<uint8_t>(s[i]);
        if (a >= 'A' && a <= 'Z') a = static_cast<uint8_t>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b + 32);
        if (a != b) return false;
    }
    return true;
}

template <size_t N>
inline bool KivBytesAt(std::span<const uint8_t> data, size_t off, const uint8_t (&bytes)[N]) {
    return KivBytesAt(data, off, std::string_view(reinterpret_cast<const char*>(bytes), N));
}

// String literals keep their embedded zero bytes ("MThd\0\0\0\x06").
template <size_t N>
inline bool KivBytesAt(std::span<const uint8_t> data, size_t off, const char (&s)[N]) {
    return KivBytesAt(data, off, std::string_view(s, N - 1));
}
template <size_t N>
inline bool KivBytesAtNoCase(std::span<const uint8_t> data, size_t off, const char (&s)[N]) {
    return KivBytesAtNoCase(data, off, std::string_view(s, N - 1));
}
