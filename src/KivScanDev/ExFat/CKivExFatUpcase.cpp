#include "CKivExFatUpcase.h"

#include "KivByteReader.h"

namespace {

char16_t AsciiUp(uint32_t c) { return static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 0x20 : c); }

}  // namespace

CKivExFatUpcase::CKivExFatUpcase() : m_map(0x10000) {
    for (uint32_t c = 0; c < 0x10000; ++c) m_map[c] = AsciiUp(c);
}

bool CKivExFatUpcase::Load(std::span<const uint8_t> table) {
    std::vector<char16_t> map(0x10000);
    for (uint32_t c = 0; c < 0x10000; ++c) map[c] = static_cast<char16_t>(c);
    KivByteReader r(table);
    uint32_t nNext = 0;
    while (r.Remaining() >= 2 && nNext < 0x10000) {
        uint16_t v = r.U16();
        if (v == 0xFFFF && r.Remaining() >= 2) {
            uint32_t nRun = r.U16();
            nNext += nRun;  // identity already there
            continue;
        }
        map[nNext++] = static_cast<char16_t>(v);
    }
    // A table that does not even cover the letters it must map is not one.
    if (nNext < 'z' + 1 || map['a'] != u'A' || map['z'] != u'Z') return false;
    m_map = std::move(map);
    m_bLoaded = true;
    return true;
}

uint16_t CKivExFatUpcase::NameHash(const std::u16string& name) const {
    uint16_t nHash = 0;
    for (char16_t c : name) {
        char16_t u = Up(c);
        for (uint8_t b : {static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(u >> 8)})
            nHash = static_cast<uint16_t>(((nHash & 1) ? 0x8000 : 0) + (nHash >> 1) + b);
    }
    return nHash;
}

bool CKivExFatUpcase::LooksLikeTableStart(std::span<const uint8_t> bytes) {
    KivByteReader r(bytes);
    if (!r.Has(0, 256)) return false;
    uint32_t nChar = 0;
    size_t nOff = 0;
    if (r.U16At(0) == 0xFFFF) {
        // Compressed: the characters below 'a' as one identity run.
        nChar = r.U16At(2);
        if (nChar != 'a') return false;
        nOff = 4;
    }
    // Up to 'z': a compressed table may fold what follows into another identity run.
    for (; nChar <= 'z'; ++nChar, nOff += 2)
        if (r.U16At(nOff) != AsciiUp(nChar)) return false;
    return true;
}

uint32_t CKivExFatUpcase::TableChecksum(std::span<const uint8_t> table) {
    uint32_t nSum = 0;
    for (uint8_t b : table) nSum = ((nSum & 1) ? 0x80000000u : 0) + (nSum >> 1) + b;
    return nSum;
}
