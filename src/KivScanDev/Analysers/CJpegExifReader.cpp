#include "Analysers/CJpegExifReader.h"

#include <algorithm>

#include "KivByteReader.h"

namespace {
// Bytes per component of the 12 TIFF field types.
constexpr uint8_t kTypeSize[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int kMaxDepth = 4;
constexpr int kMaxDirectories = 32;

enum : uint16_t {
    kTagMaker = 0x010F,
    kTagModel = 0x0110,
    kTagOrientation = 0x0112,
    kTagExifIfd = 34665,
    kTagVersion = 0x9000,
    kTagOriginal = 0x9003,
    kTagDigitised = 0x9004,
    kTagInteropIfd = 40965,
};
}  // namespace

bool CJpegExifReader::Fail(const char* pszText) {
    m_strError = pszText;
    return false;
}

uint32_t CJpegExifReader::Get32(size_t off) const {
    KivByteReader r(m_tiff);
    return m_bBigEndian ? r.U32BEAt(off) : r.U32At(off);
}

uint16_t CJpegExifReader::Get16(size_t off) const {
    KivByteReader r(m_tiff);
    return m_bBigEndian ? r.U16BEAt(off) : r.U16At(off);
}

std::string CJpegExifReader::Text(size_t off, size_t nMax) const {
    std::string s;
    for (size_t i = 0; i < nMax && off + i < m_tiff.size(); ++i) {
        uint8_t c = m_tiff[off + i];
        if (c == 0) break;
        if (c < 0x20) continue;
        if (c < 0x80) {
            s.push_back(static_cast<char>(c));
        } else {
            s.push_back(static_cast<char>(0xC0 | (c >> 6)));
            s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

bool CJpegExifReader::Parse(std::span<const uint8_t> block) {
    m_strError.clear();
    m_nDirectories = 0;
    static const uint8_t kHead[6] = {'E', 'x', 'i', 'f', 0, 0};
    KivByteReader r(block);
    if (!r.Equals(0, kHead, 6)) return Fail("Incorrect Exif header");
    m_tiff = block.subspan(6);
    if (r.Equals(6, "II", 2))
        m_bBigEndian = false;
    else if (r.Equals(6, "MM", 2))
        m_bBigEndian = true;
    else
        return Fail("Invalid Exif alignment marker.");
    if (Get16(2) != 42) return Fail("Invalid Exif start (1)");
    uint32_t nFirst = Get32(4);
    if (nFirst < 8 || nFirst > 16) return Fail("Suspicious offset of first IFD value");
    return ReadDirectory(nFirst, 0);
}

bool CJpegExifReader::ReadDirectory(uint32_t nOffset, int nDepth) {
    // Links may point anywhere inside the block, even back: bound the depth and the total.
    if (nDepth > kMaxDepth || ++m_nDirectories > kMaxDirectories) return Fail("Illegal subdirectory link");
    const size_t nSize = m_tiff.size();
    if (nOffset > nSize || nSize - nOffset < 2) return Fail("Illegally sized directory");
    uint16_t nEntries = Get16(nOffset);
    if (size_t(nEntries) * 12 > nSize - nOffset - 2) return Fail("Illegally sized directory");
    for (uint16_t i = 0; i < nEntries; ++i) {
        size_t e = nOffset + 2 + 12u * i;
        uint16_t nTag = Get16(e);
        uint16_t nFormat = Get16(e + 2);
        uint32_t nCount = Get32(e + 4);
        if (nFormat > 12) return Fail("Illegal format code in EXIF dir");
        uint64_t nBytes = uint64_t(nCount) * kTypeSize[nFormat];
        size_t nValue = e + 8;
        if (nBytes > 4) {
            uint32_t nOff = Get32(e + 8);
            if (nOff > nSize || nBytes > nSize - nOff) return Fail("Illegal pointer offset value in EXIF.");
            nValue = nOff;
        }
        switch (nTag) {
        case kTagVersion: m_strVersion = Text(nValue, std::min<uint64_t>(nBytes, 4)); break;
        case kTagMaker: m_strMaker = Text(nValue, std::min<uint64_t>(nBytes, 31)); break;
        case kTagModel: m_strModel = Text(nValue, std::min<uint64_t>(nBytes, 39)); break;
        case kTagOriginal: m_strOriginal = Text(nValue, std::min<uint64_t>(nBytes, 19)); break;
        case kTagDigitised: m_strDigitised = Text(nValue, std::min<uint64_t>(nBytes, 19)); break;
        case kTagOrientation:
            m_nOrientation = Get16(nValue);
            if (m_nOrientation < 1) return Fail("Undefined rotation value");
            break;
        case kTagExifIfd:
        case kTagInteropIfd: {
            uint32_t nSub = Get32(nValue);
            if (nSub >= nSize) return Fail("Illegal subdirectory link");
            if (!ReadDirectory(nSub, nDepth + 1)) return false;
            break;
        }
        default: break;
        }
    }
    size_t nLinkAt = nOffset + 2 + 12u * nEntries;
    if (nSize - nLinkAt >= 4) {
        uint32_t nNext = Get32(nLinkAt);
        if (nNext != 0) {
            if (nNext >= nSize) return Fail("Illegal subdirectory link");
            return ReadDirectory(nNext, nDepth + 1);
        }
    }
    return true;
}
