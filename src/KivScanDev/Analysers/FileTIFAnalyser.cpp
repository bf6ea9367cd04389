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
// List bytes one measurement may read in all: far above what real images need (a strip per row
// of a 100,000-row image takes 400 KB), far below what hostile directories could ask for.
constexpr uint64_t kListBudget = 16u << 20;

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

// A SHORT or LONG list read with one bounded read, in the file's byte order. *pBudget is what the
// whole measurement may still read of such lists; false when the list cannot be read or is over it.
bool ReadList(TiffReader& tr, bool bBig, const TiffEntry& e, uint64_t* pBudget, std::vector<uint32_t>* pOut) {
    const size_t w = e.nType == 3 ? 2 : (e.nType == 4 || e.nType == 13) ? 4 : 0;
    const uint64_t bytes = uint64_t(e.nCount) * w;
    if (!w || e.nCount == 0 || e.nCount > kMaxArray || bytes > *pBudget) return false;
    *pBudget -= bytes;
    std::vector<uint8_t> raw(bytes);
    if (!tr.m_rd.Read(e.nValueOff, raw.data(), raw.size())) return false;
    pOut->resize(e.nCount);
    for (uint32_t i = 0; i < e.nCount; ++i) {
        uint32_t v = 0;
        for (size_t k = 0; k < w; ++k) {
            uint32_t b = raw[size_t(i) * w + k];
            v |= bBig ? b << (8 * (w - 1 - k)) : b << (8 * k);
        }
        (*pOut)[i] = v;
    }
    return true;
}

// Where the data of a pair of offset and length lists (strips, tiles) ends: the largest offset +
// length. Each pair is read once per file, however many directories name it.
uint64_t ListEnd(TiffReader& tr, bool bBig, const TiffEntry* pOffsets, const TiffEntry* pLengths, uint64_t* pBudget,
                 std::set<std::pair<uint64_t, uint64_t>>* pDone) {
    if (!pOffsets || !pLengths || pLengths->nCount != pOffsets->nCount) return 0;
    if (!pDone->emplace(pOffsets->nValueOff, pLengths->nValueOff).second) return 0;
    std::vector<uint32_t> offsets, lengths;
    if (!ReadList(tr, bBig, *pOffsets, pBudget, &offsets) || !ReadList(tr, bBig, *pLengths, pBudget, &lengths))
        return 0;
    uint64_t end = 0;
    for (size_t i = 0; i < offsets.size(); ++i) end = std::max(end, uint64_t(offsets[i]) + lengths[i]);
    return end;
}

}  // namespace

namespace {

// Raw files whose header differs from TIFF's only in its magic number.
uint32_t MagicType(std::span<const uint8_t> s) {
    if (KivBytesAt(s, 0, "MM\x00\x2A") || KivBytesAt(s, 0, "II\x2A\x00")) return 60;
    if (KivBytesAt(s, 0, "IIRO") || KivBytesAt(s, 0, "IIRS") || KivBytesAt(s, 0, "MMOR")) return 96;  // ORF
    if (KivBytesAt(s, 0, "IIU\x00")) return 97;                                                    // RW2
    return 0;
}

// The raw type a camera's maker stands for (TIFF-based raws that no other mark tells apart; Nikon's
// are told by their model).
uint32_t MakerType(const std::string& maker) {
    auto starts = [&](const char* p) { return maker.rfind(p, 0) == 0; };
    if (starts("SONY")) return 94;
    if (starts("PENTAX") || starts("RICOH")) return 98;
    if (starts("Canon")) return 93;
    return 0;
}

}  // namespace

bool FileTIFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    uint32_t nType = MagicType(sector);
    if (!nType) return false;
    pInfo->m_nTypeId = nType;
    return true;
}

// The file ends with the furthest thing its directories point to: the directories themselves,
// values stored outside them, image strips and tiles, embedded previews. Directories are followed
// through the next-directory chain, sub-directories and the EXIF and GPS directories.
bool FileTIFAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto hw = rd.Window(0, 16);
    if (hw.empty()) return false;
    uint8_t h[16];
    std::copy(hw.begin(), hw.end(), h);
    const bool bBig = KivBytesAt(h, 0, "MM");
    TiffReader tr(rd, bBig);
    uint32_t nFirst;
    if (!tr.U32(4, nFirst) || nFirst < 8 || nFirst > nCap) return false;

    std::string strModel, strMaker;
    bool bDng = false;
    uint64_t nEnd = 8;
    std::vector<uint64_t> todo{nFirst};
    std::set<uint64_t> seen;
    std::vector<TiffEntry> entries;
    uint64_t nListBudget = kListBudget;
    std::set<std::pair<uint64_t, uint64_t>> listsDone;
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
                size_t n = size_t(std::min<uint64_t>(e.Bytes(), sizeof b));
                if (off == nFirst && !rd.Read(e.nValueOff, b, n)) return false;
                if (off == nFirst && e.nType == 2) strMaker.assign(b, std::find(b, b + n, uint8_t(0)));
                break;
            }
            case 50706:  // the DNG version
                bDng = true;
                break;
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
        for (auto [nOffsets, nLengths] : {std::pair<uint16_t, uint16_t>{273, 279},  // strips
                                          {324, 325},                               // tiles
                                          {513, 514}})                              // embedded JPEG preview
            nEnd = std::max(nEnd, ListEnd(tr, bBig, find(nOffsets), find(nLengths), &nListBudget, &listsDone));
        if (nNext) todo.push_back(nNext);
        if (nDir % 10 == 9) KivPumpMessages();
    }

    // The raws: by their magic, by the DNG version, by Canon's mark at 8, by the maker.
    uint32_t nType = MagicType(h);
    if (bDng)
        nType = 95;
    else if (nType == 60 && KivBytesAt(h, 8, "CR"))
        nType = 93;
    else if (nType == 60 && strModel.rfind("NIKON", 0) == 0)
        nType = 73;
    else if (nType == 60 && !strModel.empty() && MakerType(strMaker) && MakerType(strMaker) != 93)
        nType = MakerType(strMaker);
    while (!strMaker.empty() && strMaker.back() == ' ') strMaker.pop_back();
    while (!strModel.empty() && strModel.back() == ' ') strModel.pop_back();
    if (nType == 73) {
        m_strTitle = strModel;
    } else if (nType != 60) {
        // Named by maker and model; most models already begin with the maker's first word.
        std::string first = strMaker.substr(0, strMaker.find(' '));
        m_strTitle = first.empty() || strModel.rfind(first, 0) == 0 ? strModel
                     : strModel.empty()                              ? strMaker
                                                                     : strMaker + " " + strModel;
    }
    pInfo->m_nTypeId = nType;
    pInfo->m_nSize = std::min(nEnd, nCap);
    pInfo->m_strTitle = m_strTitle;
    return true;
}

IRawFileAnalyser* CreateFileTIFAnalyser() { return new FileTIFAnalyser; }
