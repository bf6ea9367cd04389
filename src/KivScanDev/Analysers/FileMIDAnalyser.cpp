#include "Analysers/FileMIDAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivChunkWalk.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"

bool FileMIDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    if (!KivBytesAt(sector, 0, "MThd\0\0\0\x06") || r.U16BEAt(8) > 2 || r.U16At(10) == 0) return false;
    pInfo->m_nTypeId = 36;
    return true;
}

// Track chunks follow the header chunk; the first chunk of another kind, or the end of the
// readable data, ends the file.
bool FileMIDAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    const uint64_t pos = KivWalkChunks(rd, 14, 8, nCap, [](std::span<const uint8_t> h) -> uint64_t {
        return KivBytesAtNoCase(h, 0, "MTrk") ? 8 + uint64_t(KivByteReader(h).U32BEAt(4)) : 0;
    });
    if (pos == 14) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFileMIDAnalyser() { return new FileMIDAnalyser; }
