#include "Analysers/FileTIFAnalyser.h"

#include <algorithm>
#include <set>
#include <vector>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint32_t kTypeSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
constexpr uint16_t kMaxEntries = 512;
constexpr size_t kMaxDirectories = 256;
constexpr uint32_t kMaxArray = 1u << 20;  // offsets per strip or tile list

struct TiffEntry {
    uint16_t nTag = 0, nType = 0;
    uint32_t nCount = 0;
    uint32_t nValue = 0;  // the value field as a number (inline values sit at its start)
    uint64_t nValueOff = 0;  // file offset of the first value
    uint64_t Bytes() const { return uint64_t(nCount) * (nType < 14 ? kTypeSizes[nType] : 0); }
};

// Directory reading in the file's byte order.
class TiffReader {
public:
    TiffReader(CRawFileReader& rd, bool bBig) : m_rd(rd), m_bBig(bBig) {}
    bool U16(uint64_t off, uint16_t& v) { return m_bBig ? m_rd.ReadU16BE(off, v) : m_rd.ReadU16LE(off, v); }
    bool U32(uint64_t off, uint32_t& v) { return m_bBig ? m_rd.ReadU32BE(off, v) : m_rd.ReadU32LE(off, v); }
    // Element i of a SHORT or LONG array.
    bool Element(const TiffEntry& e, uint32_t i, uint32_t& v) {
        if (e.nType == 3) {
            uint16_t s;
            if (!U16(e.nValueOff + 2ull * i, s)) return false;
            v = s;
            return true;
        }
        return (e.nType == 4 || e.nType == 13) && U32(e.nValueOff + 4ull * i, v);
    }
    bool Directory(uint64_t off, std::vector<TiffEntry>& entries, uint32_t& nNext) {
        uint16_t n;
        if (!U16(off, n) || n > kMaxEntries) return false;
        entries.resize(n);
        for (uint16_t i = 0; i < n; ++i) {
            uint64_t p = off + 2 + 12ull * i;
            TiffEntry& e = entries[i];
            if (!U16(p, e.nTag) || !U16(p + 2, e.nType) || !U32(p + 4, e.nCount) || !U32(p + 8, e.nValue)) return false;
            e.nValueOff = e.Bytes() > 4 ? e.nValue : p + 8;
        }
        return U32(off + 2 + 12ull * n, nNext);
    }
    CRawFileReader& m_rd;

private:
    bool m_bBig;
};

// End of the data a pair of offset and length lists describes (strips, tiles), taken at the
// largest offset.
uint64_t ListEnd(TiffReader& tr, const TiffEntry* pOffsets, const TiffEntry* pLengths) {
    if (!pOffsets || !pLengths || pOffsets->nCount == 0 || pOffsets->nCount > kMaxArray ||
        pLengths->nCount != pOffsets->nCount)
        return 0;
    uint32_t nBest = 0, iBest = 0;
    for (uint32_t i = 0; i < pOffsets->nCount; ++i) {
        uint32_t v;
        if (!tr.Element(*pOffsets, i, v)) return 0;
        if (v >= nBest) {
            nBest = v;
            iBest = i;
        }
        if (i % 4096 == 4095) KivPumpMessages();
    }
    uint32_t nLen;
    return tr.Element(*pLengths, iBest, nLen) ? uint64_t(nBest) + nLen : 0;
}

}  // namespace

bool FileTIFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "MM\x00\x2A") && !KivBytesAt(sector, 0, "II\x2A\x00")) return false;
    pInfo->m_nTypeId = 60;
    return true;
}

// The file ends with the furthest thing its directories point to: the directories themselves,
// values stored outside them, image strips and tiles, embedded previews. Directories are followed
// through the next-directory chain, sub-directories and the EXIF and GPS directories.
bool FileTIFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    m_strTitle.clear();
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd;
    rd.Init(pStor, pInfo->m_nStartSector);
    auto h = rd.Window(0, 8);
    if (h.empty()) return false;
    const bool bBig = KivBytesAt(h, 0, "MM");
    TiffReader tr(rd, bBig);
    uint32_t nFirst;
    if (!tr.U32(4, nFirst) || nFirst < 8 || nFirst > nCap) return false;

    std::string strModel;
    uint64_t nEnd = 8;
    std::vector<uint64_t> todo{nFirst};
    std::set<uint64_t> seen;
    std::vector<TiffEntry> entries;
    for (size_t nDir = 0; !todo.empty() && seen.size() < kMaxDirectories; ++nDir) {
        uint64_t off = todo.back();
        todo.pop_back();
        if (off < 8 || off > nCap || !seen.insert(off).second) continue;
        uint32_t nNext = 0;
        if (!tr.Directory(off, entries, nNext)) {
            if (off == nFirst) return false;
            continue;
        }
        nEnd = std::max(nEnd, off + 2 + 12 * entries.size() + 4);
        auto find = [&](uint16_t nTag) -> const TiffEntry* {
            for (const auto& e : entries)
                if (e.nTag == nTag) return &e;
            return nullptr;
        };
        for (const auto& e : entries) {
            if (e.Bytes() > 4) nEnd = std::max(nEnd, e.nValueOff + e.Bytes());
            uint32_t v;
            switch (e.nTag) {
            case 271: {  // maker: must be readable
                uint8_t b[64];
                if (off == nFirst && !rd.Read(e.nValueOff, b, std::min<uint64_t>(e.Bytes(), sizeof b))) return false;
                break;
            }
            case 272:  // model
                if (off == nFirst && e.nType == 2) {
                    std::vector<uint8_t> b(std::min<uint64_t>(e.nCount, 64));
                    if (rd.Read(e.nValueOff, b.data(), b.size()))
                        strModel.assign(b.begin(), std::find(b.begin(), b.end(), uint8_t(0)));
                }
                break;
            case 330:    // sub-directories
            case 34665:  // EXIF
            case 34853:  // GPS
                for (uint32_t i = 0; i < e.nCount && i < 64; ++i)
                    if (tr.Element(e, i, v)) todo.push_back(v);
                break;
            }
        }
        nEnd = std::max(nEnd, ListEnd(tr, find(273), find(279)));  // strips
        nEnd = std::max(nEnd, ListEnd(tr, find(324), find(325)));  // tiles
        nEnd = std::max(nEnd, ListEnd(tr, find(513), find(514)));  // embedded JPEG preview
        if (nNext) todo.push_back(nNext);
        if (nDir % 10 == 9) KivPumpMessages();
    }

    uint32_t nType = 60;
    if (strModel.rfind("NIKON", 0) == 0) {
        nType = 73;
        m_strTitle = strModel;
    }
    pInfo->m_nTypeId = nType;
    pInfo->m_nSize = std::min(nEnd, nCap);
    pInfo->m_strTitle = m_strTitle;
    return true;
}

IRawFileAnalyser* CreateFileTIFAnalyser() { return new FileTIFAnalyser; }
