#include "Analysers/FileRAFAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"

namespace {
constexpr size_t kModelAt = 28, kModelLen = 32;
constexpr size_t kPointersAt = 84;  // three pairs of BE32 offset and length
}  // namespace

bool FileRAFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, "FUJIFILMCCD-RAW "), pInfo, 99);
}

// The file ends with the furthest of its three parts; a part that is not there to its last byte
// means the file was cut.
bool FileRAFAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto h = rd.Window(0, kPointersAt + 24);
    if (h.empty()) return false;
    KivByteReader r(h);
    uint64_t nEnd = kPointersAt + 24;
    for (size_t i = 0; i < 3; ++i) {
        uint64_t nOff = r.U32BEAt(kPointersAt + 8 * i), nLen = r.U32BEAt(kPointersAt + 8 * i + 4);
        if (nLen) nEnd = std::max(nEnd, nOff + nLen);
    }
    auto model = h.subspan(kModelAt, kModelLen);
    m_strTitle.assign(model.begin(), std::find(model.begin(), model.end(), uint8_t(0)));
    if (!m_strTitle.empty() && m_strTitle.rfind("FUJIFILM", 0) != 0) m_strTitle = "FUJIFILM " + m_strTitle;
    uint8_t last;
    if (nEnd > nCap || !rd.ReadU8(nEnd - 1, last)) pInfo->m_nDamage = kCarveEndNotFound;
    pInfo->m_nSize = std::min({nEnd, nCap, rd.KnownEnd()});
    pInfo->m_strTitle = m_strTitle;
    return true;
}

IRawFileAnalyser* CreateFileRAFAnalyser() { return new FileRAFAnalyser; }
