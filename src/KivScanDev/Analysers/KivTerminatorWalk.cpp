#include "Analysers/KivTerminatorWalk.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Model/KivScanSettings.h"

bool KivMeasureToTerminator(CRawFileInfo* pInfo, IKivDevStor* pStor, std::string_view term, uint64_t nLimit,
                            bool bSizeAtLimit) {
    uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    uint64_t nEnd = std::min(nLimit, nCap);
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    bool bFailed = false;
    uint64_t at = rd.Find(0, nEnd, term, true, &bFailed);
    if (at != CRawFileReader::kNotFound) {
        pInfo->m_nSize = at + term.size();
        return true;
    }
    if (bFailed || (!bSizeAtLimit && nEnd == nLimit)) return false;
    pInfo->m_nSize = nEnd;
    return true;
}
