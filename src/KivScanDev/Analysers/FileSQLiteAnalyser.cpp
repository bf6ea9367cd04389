#include "Analysers/FileSQLiteAnalyser.h"

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"

namespace {

// The page size (1 stands for 65,536), or 0 when the header's value is no power of two in range.
uint32_t PageSize(KivByteReader& r) {
    uint32_t n = r.U16BEAt(16);
    if (n == 1) return 65536;
    return n >= 512 && n <= 32768 && (n & (n - 1)) == 0 ? n : 0;
}

}  // namespace

// The header text, a valid page size, file format versions 1 or 2 and the fixed payload fractions.
bool FileSQLiteAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "SQLite format 3\0")) return false;
    KivByteReader r(sector);
    if (!PageSize(r) || r.U8At(18) < 1 || r.U8At(18) > 2 || r.U8At(19) < 1 || r.U8At(19) > 2 ||
        !KivBytesAt(sector, 21, "\x40\x20\x20"))
        return false;
    pInfo->m_nTypeId = 87;
    return true;
}

// The page count at 28 is valid when the change counter at 24 equals the version-valid-for number
// at 92 (older writers left it stale). Without a valid count the database's end is not known: it
// is kept up to its first page as a file whose end was not found.
bool FileSQLiteAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto h = rd.Window(0, 100);
    if (h.empty()) return false;
    KivByteReader r(h);
    uint64_t nPage = PageSize(r), nPages = r.U32BEAt(28);
    if (!nPage) return false;
    if (nPages == 0 || r.U32BEAt(24) != r.U32BEAt(92)) {
        pInfo->m_nSize = nPage;
        pInfo->m_nDamage = kCarveEndNotFound;
        return true;
    }
    uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    pInfo->m_nSize = nPage * nPages;
    if (pInfo->m_nSize > nCap) {
        pInfo->m_nSize = nCap;
        pInfo->m_nDamage = kCarveEndNotFound;
    }
    return true;
}

IRawFileAnalyser* CreateFileSQLiteAnalyser() { return new FileSQLiteAnalyser; }
