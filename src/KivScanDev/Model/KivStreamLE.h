// Little-endian field helpers for Save/Load: every field goes out with its own width, unpadded,
// whatever the host byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "KivScanResult.h"

namespace kiv_detail {
template <class T>
using LEBits = std::conditional_t<sizeof(T) == 1, uint8_t,
               std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
}

// Integers, enums and doubles. Answers false when the stream refused the bytes.
template <class T>
bool WriteLE(IKivStream* pStream, T value) {
    static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
    using U = kiv_detail::LEBits<T>;
    U bits = 0;
    std::memcpy(&bits, &value, sizeof(T));
    uint8_t buf[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) buf[i] = static_cast<uint8_t>(uint64_t(bits) >> (8 * i));
    return pStream && pStream->Write(buf, sizeof(T)) != 0;
}

// On failure *pValue is left unchanged.
template <class T>
bool ReadLE(IKivStream* pStream, T* pValue) {
    static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
    using U = kiv_detail::LEBits<T>;
    uint8_t buf[sizeof(T)];
    if (!pStream || !pStream->Read(buf, sizeof(T))) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t(buf[i]) << (8 * i);
    U bits = static_cast<U>(v);
    std::memcpy(pValue, &bits, sizeof(T));
    return true;
}

// Longest prefix of s of at most nMaxBytes bytes that does not split a UTF-8 sequence.
inline std::string KivUtf8Prefix(const std::string& s, size_t nMaxBytes) {
    if (s.size() <= nMaxBytes) return s;
    size_t n = nMaxBytes;
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

// Reads nLen text bytes (the length was read before); lengths above nMax fail. The text ends at an
// embedded 0, as the stored C string would.
inline bool KivReadText(IKivStream* pStream, uint32_t nLen, size_t nMax, std::string* pOut) {
    if (!pStream || nLen > nMax) return false;
    std::string s(nLen, '\0');
    if (nLen && !pStream->Read(s.data(), nLen)) return false;
    s.resize(std::char_traits<char>::length(s.c_str()));
    *pOut = std::move(s);
    return true;
}
