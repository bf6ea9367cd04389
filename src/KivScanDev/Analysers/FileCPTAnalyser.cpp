#include "Analysers/FileCPTAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FileCPTAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "CPT7FILE") && !KivBytesAt(sector, 0, "CPT8FILE") && !KivBytesAt(sector, 0, "CPT9FILE"))
        return false;
    KivByteReader r(sector);
    if (r.U32At(52) != 316) return false;
    pInfo->m_nTypeId = 15;
    return true;
}

// The offset table at 316 lists the image blocks; the last block's descriptor leads to the end
// of the file (or, when it has no trailer, the block's start is taken as the size).
bool FileCPTAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint32_t t = 0, n = 0, b = 0, nLink = 0, e = 0, nNext = 0;
    if (!rd.ReadU32LE(52, t) || !rd.ReadU32LE(40, n) || !rd.Window(t, 8).size()) return false;
    uint64_t nEntry = uint64_t(t) + 8ull * n;
    if (nEntry < 8 || !rd.ReadU32LE(nEntry - 8, b)) return false;
    uint64_t d = uint64_t(b) + 60;
    uint32_t nAtD = 0;
    if (!rd.ReadU32LE(uint64_t(b) + 32, nLink) || !rd.ReadU32LE(d, nAtD)) return false;
    if (nLink != 0 && nLink == nAtD) d = uint64_t(b) + 60 + nLink;
    if (!rd.ReadU32LE(d, e) || !rd.ReadU32LE(d + 4, nNext)) return false;
    if (e != 0 && nNext != 0) {
        uint32_t a = 0, c = 0;
        if (e < 8 || !rd.ReadU32LE(uint64_t(e) - 8, a) || !rd.ReadU32LE(uint64_t(e) - 4, c)) return false;
        pInfo->m_nSize = uint64_t(a) + c;
    } else {
        pInfo->m_nSize = b;
    }
    return pInfo->m_nSize != 0;
}

IRawFileAnalyser* CreateFileCPTAnalyser() { return new FileCPTAnalyser; }
