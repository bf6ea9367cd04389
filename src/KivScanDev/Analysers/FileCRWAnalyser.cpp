#include "Analysers/FileCRWAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
constexpr uint64_t kSearchLimit = 0x1400000;
}

bool FileCRWAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    static const uint8_t kMagic[16] = {0x49, 0x49, 0x1A, 0x00, 0x00, 0x00, 0x48, 0x45,
                                       0x41, 0x50, 0x43, 0x43, 0x44, 0x52, 0x02, 0x00};
    if (!KivBytesAt(sector, 0, kMagic)) return false;
    pInfo->m_nTypeId = 16;
    return true;
}

// The camera's description block lies near the end of the raw file; the file is taken up to the
// sector that holds it. Without it the file is taken as 20 MiB, but never past the data's end.
bool FileCRWAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t pos = 16;
    for (;;) {
        bool bFailed = false;
        uint64_t x = rd.Find(pos, kSearchLimit, "High definition CCD image", false, &bFailed);
        if (x == CRawFileReader::kNotFound) {
            if (bFailed && rd.KnownEnd() == CRawFileReader::kNotFound) return false;
            pInfo->m_nSize = std::min(kSearchLimit, rd.KnownEnd());
            return pInfo->m_nSize != 0;
        }
        auto w = rd.Window(x, 128 + 15);
        if (!w.empty() && KivBytesAt(w, 32, "CRW:High definition CCD image") && KivBytesAt(w, 122, "Canon") &&
            KivBytesAt(w, 128, "Canon PowerShot")) {
            pInfo->m_nSize = (x + 511) / 512 * 512;
            if (pInfo->m_nSize == 0) pInfo->m_nSize = 512;
            return true;
        }
        pos = x + 1;
    }
}

IRawFileAnalyser* CreateFileCRWAnalyser() { return new FileCRWAnalyser; }
