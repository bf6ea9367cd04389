#include "Analysers/FileZIPAnalyser.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50;
// Large-file archives put their own end record and its locator in front of the end record.
constexpr uint32_t kEnd64 = 0x06064B50, kEnd64Locator = 0x07064B50;

// One record of the archive at a position: its length and, for headers, the entry name.
struct ZipRecord {
    uint32_t nSig = 0;
    uint64_t nLength = 0;
    std::string name;
};

// Packages that put a stored "mimetype" entry first name their type in it: OpenDocument files
// and EPUB books.
struct PackageType {
    const char* pszMime;
    uint32_t nType;
};
constexpr PackageType kPackages[] = {
    {"application/vnd.oasis.opendocument.text", 88},         {"application/vnd.oasis.opendocument.spreadsheet", 89},
    {"application/vnd.oasis.opendocument.presentation", 90}, {"application/vnd.oasis.opendocument.graphics", 91},
    {"application/epub+zip", 92},
};

uint32_t PackageTypeOf(CRawFileReader& rd) {
    uint8_t h[30];
    if (!rd.Read(0, h, sizeof h)) return 0;
    KivByteReader r(h, sizeof h);
    uint16_t nName = r.U16At(26), nExtra = r.U16At(28);
    uint32_t nLen = r.U32At(18);
    if (r.U16At(8) != 0 || nName != 8 || nLen > 100) return 0;
    char buf[8 + 100];
    if (!rd.Read(30, buf, 8) || std::string_view(buf, 8) != "mimetype" || !rd.Read(30 + 8 + nExtra, buf, nLen))
        return 0;
    for (const PackageType& p : kPackages)
        if (std::string_view(buf, nLen) == p.pszMime) return p.nType;
    return 0;
}

// An entry written as a stream (flag bit 3) states its sizes only in the data descriptor that
// follows its data: find the descriptor whose compressed size matches the distance walked. An
// entry with large-file fields (sizes 0xFFFFFFFF in its header) has 64-bit sizes there.
// *pBudget is what the whole walk may still search: the entries of a sound archive are searched
// only over their own data, which together never exceed the size cap, while headers whose
// descriptors are missing would each search to the cap again.
bool StreamedDataLength(CRawFileReader& rd, uint64_t nData, uint64_t nCap, bool bWide, uint64_t* pBudget,
                        uint64_t& nLength) {
    uint64_t end;
    if (KivAddOverflows(nData, *pBudget, &end)) end = ~0ull;
    end = std::min(end, nCap);
    auto spend = [&](uint64_t upTo) { *pBudget -= std::min(*pBudget, upTo > nData ? upTo - nData : 0); };
    for (uint64_t from = nData; from < end;) {
        uint64_t at = rd.Find(from, end, "PK\x07\x08");
        if (at == CRawFileReader::kNotFound) break;
        uint32_t nPacked32;
        uint64_t nPacked64;
        if (bWide ? rd.ReadU64LE(at + 8, nPacked64) && nPacked64 == at - nData
                  : rd.ReadU32LE(at + 8, nPacked32) && nPacked32 == at - nData) {
            spend(at);
            nLength = at - nData + (bWide ? 24 : 16);
            return true;
        }
        from = at + 1;
    }
    spend(end);
    return false;
}

bool ReadRecord(CRawFileReader& rd, uint64_t pos, uint64_t nCap, uint64_t* pBudget, ZipRecord& rec) {
    uint32_t sig;
    if (!rd.ReadU32LE(pos, sig)) return false;
    rec.nSig = sig;
    rec.name.clear();
    if (sig == kEnd) {
        auto h = rd.Window(pos, 22);
        if (h.empty()) return false;
        rec.nLength = 22 + KivByteReader(h).U16At(20);
        return true;
    }
    if (sig == kEnd64 || sig == kEnd64Locator) {
        uint64_t nRest = 0;
        if (sig == kEnd64 && !rd.ReadU64LE(pos + 4, nRest)) return false;
        rec.nLength = sig == kEnd64 ? 12 + nRest : 20;
        return nRest < (1ull << 32);
    }
    size_t nFixed = sig == kLocal ? 30 : sig == kCentral ? 46 : 0;
    if (!nFixed) return false;
    auto h = rd.Window(pos, nFixed);
    if (h.empty()) return false;
    KivByteReader r(h);
    uint16_t nName, nExtra;
    if (sig == kLocal) {
        if (r.U16At(8) > 10) return false;  // compression method
        nName = r.U16At(26);
        nExtra = r.U16At(28);
        if (nName > 1040) return false;
        uint64_t nData = uint64_t(30) + nName + nExtra;
        uint64_t nPacked = r.U32At(18);
        // Without its descriptor a streamed entry keeps the stated size, and the walk ends there.
        if ((r.U16At(6) & 0x8) && (nPacked == 0 || nPacked == 0xFFFFFFFF))
            StreamedDataLength(rd, pos + nData, nCap, nPacked != 0, pBudget, nPacked);
        rec.nLength = nData + nPacked;
    } else {
        nName = r.U16At(28);
        nExtra = r.U16At(30);
        rec.nLength = uint64_t(46) + nName + nExtra + r.U16At(32);
    }
    auto n = rd.Window(pos + nFixed, nName);
    if (nName && n.empty()) return false;
    rec.name.assign(n.begin(), n.end());
    return true;
}

}  // namespace

bool FileZIPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, "PK\x03\x04"), pInfo, 68);
}

bool FileZIPAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    m_bOffice = m_bDrawing = false;

    ZipRecord rec;
    uint64_t nSearchBudget = nCap;
    if (!ReadRecord(rd, 0, nCap, &nSearchBudget, rec)) return false;
    if (rec.nSig == kLocal) {
        m_bOffice = rec.name == "[Content_Types].xml";
        m_bDrawing = rec.name == "content/riffData.cdr";
    }

    uint32_t nType = 68;
    uint64_t pos = 0;
    // The end record closes the archive; what follows it belongs to something else.
    bool bEnd = false;
    for (uint64_t nStep = 1; !bEnd && pos <= nCap && ReadRecord(rd, pos, nCap, &nSearchBudget, rec); ++nStep) {
        bEnd = rec.nSig == kEnd;
        if (m_bOffice && rec.nSig != kEnd) {
            if (rec.name == "word/_rels/document.xml.rels")
                nType = 69;
            else if (rec.name == "xl/_rels/workbook.xml.rels")
                nType = 70;
            else if (rec.name == "ppt/_rels/presentation.xml.rels")
                nType = 71;
        }
        pos += rec.nLength;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (m_bDrawing && !m_bOffice) nType = 11;
    if (uint32_t nPackage = PackageTypeOf(rd)) nType = nPackage;
    pInfo->m_nTypeId = nType;
    pInfo->m_nSize = std::min(pos, nCap);
    // An archive whose records stop before the end record was cut or overwritten.
    if (!bEnd) pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}

IRawFileAnalyser* CreateFileZIPAnalyser() { return new FileZIPAnalyser; }
