#include "Analysers/FileMKVAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint32_t kEbml = 0x1A45DFA3, kDocType = 0x4282, kSegment = 0x18538067, kCluster = 0x1F43B675;
constexpr uint32_t kInfo = 0x1549A966, kTitle = 0x7BA9;
constexpr uint64_t kUnknown = ~0ull;
// Elements that stand directly in a segment, and those that stand directly in a cluster.
constexpr uint32_t kSegmentChildren[] = {0x114D9B74, kInfo, 0x1654AE6B, kCluster, 0x1C53BB6B,
                                         0x1043A770, 0x1254C367, 0x1941A469, 0xEC, 0xBF};
constexpr uint32_t kClusterChildren[] = {0xE7, 0xA3, 0xA0, 0xA7, 0xAB, 0x5854, 0xAF, 0xEC, 0xBF};
constexpr unsigned kMaxElements = 1u << 20;

struct Element {
    uint32_t nId = 0;
    uint64_t nSize = 0;  // kUnknown for an element whose size is left open
    uint64_t nData = 0;  // file offset of its data
};

// Reads an element header at pos: an id of 1 to 4 bytes (marker kept) and a size of 1 to 8 bytes.
bool ReadElement(CRawFileReader& rd, uint64_t pos, Element& e) {
    uint8_t b[12];
    size_t n = 12;
    while (n > 0 && !rd.Read(pos, b, n)) --n;
    if (n < 2 || b[0] < 0x10) return false;
    size_t nIdLen = b[0] >= 0x80 ? 1 : b[0] >= 0x40 ? 2 : b[0] >= 0x20 ? 3 : 4;
    if (nIdLen >= n) return false;
    e.nId = 0;
    for (size_t i = 0; i < nIdLen; ++i) e.nId = (e.nId << 8) | b[i];
    uint8_t first = b[nIdLen];
    if (first == 0) return false;
    size_t nLen = 1;
    while (!(first & (0x80 >> (nLen - 1)))) ++nLen;
    if (nIdLen + nLen > n) return false;
    uint64_t v = first & (0xFF >> nLen);
    bool bAllOnes = v == (0xFFu >> nLen);
    for (size_t i = 1; i < nLen; ++i) {
        v = (v << 8) | b[nIdLen + i];
        bAllOnes = bAllOnes && b[nIdLen + i] == 0xFF;
    }
    e.nSize = bAllOnes ? kUnknown : v;
    e.nData = pos + nIdLen + nLen;
    return true;
}

template <size_t N>
bool IsOneOf(uint32_t nId, const uint32_t (&ids)[N]) {
    return std::find(std::begin(ids), std::end(ids), nId) != std::end(ids);
}

// The UTF-8 text of the element with id nWanted among the children of [from, end).
std::string ChildText(CRawFileReader& rd, uint64_t from, uint64_t end, uint32_t nWanted, size_t nMax) {
    Element c;
    for (uint64_t pos = from; pos < end && ReadElement(rd, pos, c) && c.nSize != kUnknown; pos = c.nData + c.nSize) {
        if (c.nId != nWanted) continue;
        std::string s(std::min<uint64_t>(c.nSize, nMax), '\0');
        if (!rd.Read(c.nData, s.data(), s.size())) return {};
        s.resize(std::find(s.begin(), s.end(), '\0') - s.begin());
        return s;
    }
    return {};
}

}  // namespace

bool FileMKVAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "\x1A\x45\xDF\xA3")) return false;
    // The document type stands within the header's first bytes.
    for (size_t off = 4; off + 8 <= 64; ++off) {
        if (KivBytesAt(sector, off, "\x42\x82\x84webm")) {
            pInfo->m_nTypeId = 79;
            return true;
        }
        if (KivBytesAt(sector, off, "\x42\x82\x88matroska")) {
            pInfo->m_nTypeId = 78;
            return true;
        }
    }
    return false;
}

// The file is the EBML header and the segment after it. A segment of known size ends there. A
// segment left open (a live recording written as it was made) ends after its last whole element:
// its children are walked, and clusters left open by their children.
bool FileMKVAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    Element head, seg;
    if (!ReadElement(rd, 0, head) || head.nId != kEbml || head.nSize == kUnknown || head.nSize > 4096) return false;
    uint64_t nSegAt = head.nData + head.nSize;
    if (!ReadElement(rd, nSegAt, seg) || seg.nId != kSegment) return false;

    uint64_t nEnd = seg.nData;  // end of the last whole element
    bool bWhole = false;
    const uint64_t nSegEnd = seg.nSize == kUnknown ? nCap : std::min(seg.nData + seg.nSize, nCap);
    bool bInCluster = false;
    bool bCut = false;  // an element runs past the data
    Element e;
    unsigned n = 0;
    for (uint64_t pos = seg.nData; pos < nSegEnd && n < kMaxElements; ++n) {
        if (n % 10 == 9) KivPumpMessages();
        if (!ReadElement(rd, pos, e)) break;
        if (bInCluster && IsOneOf(e.nId, kClusterChildren) && e.nSize != kUnknown) {
            // A block of an open cluster.
        } else if (IsOneOf(e.nId, kSegmentChildren)) {
            bInCluster = false;
            if (e.nSize == kUnknown) {
                if (e.nId != kCluster) break;
                bInCluster = true;
                nEnd = pos = e.nData;
                continue;
            }
        } else {
            break;
        }
        if (e.nSize > nSegEnd - std::min(nSegEnd, e.nData)) {
            bCut = true;
            break;
        }
        uint64_t nNext = e.nData + e.nSize;
        uint8_t last;
        if (e.nSize && !rd.ReadU8(nNext - 1, last)) {
            bCut = true;
            break;
        }
        if (e.nId == kInfo && m_strTitle.empty()) m_strTitle = ChildText(rd, e.nData, nNext, kTitle, 100);
        nEnd = pos = nNext;
        if (pos == nSegEnd && seg.nSize != kUnknown) bWhole = true;
    }
    if (seg.nSize == kUnknown) {
        // Nothing closes an open segment: it ends after its last whole element, and is whole
        // unless an element was cut.
        bWhole = nEnd > seg.nData && !bCut;
    } else if (!bWhole && seg.nData + seg.nSize <= nCap) {
        // The elements did not add up to the segment; when its last byte is there the segment's
        // size is taken as it stands, else the file was cut.
        uint8_t last;
        if (seg.nSize && rd.ReadU8(seg.nData + seg.nSize - 1, last)) {
            nEnd = seg.nData + seg.nSize;
            bWhole = true;
        }
    }
    pInfo->m_nSize = std::min(nEnd, nCap);
    if (!bWhole) pInfo->m_nDamage = kCarveEndNotFound;
    pInfo->m_strTitle = m_strTitle;
    return pInfo->m_nSize != 0;
}

IRawFileAnalyser* CreateFileMKVAnalyser() { return new FileMKVAnalyser; }
