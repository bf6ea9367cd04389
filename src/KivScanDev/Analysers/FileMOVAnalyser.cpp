#include "Analysers/FileMOVAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivChunkWalk.h"
#include "Analysers/KivBoxWalk.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"

bool FileMOVAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    // Pictures and raws in the same container have analysers of their own.
    if (!KivBytesAt(sector, 4, "ftyp") || KivIsoBrandType(sector) != 0) return false;
    pInfo->m_nTypeId = 40;
    return true;
}

// Top-level atoms of the kinds a movie holds follow each other; the first other atom ends it.
bool FileMOVAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    const uint64_t pos = KivWalkChunks(rd, 0, 8, nCap, [](std::span<const uint8_t> h) -> uint64_t {
        const uint32_t nSize = KivByteReader(h).U32BEAt(0);
        bool bKnown = false;
        for (const char* t : {"free", "ftyp", "mdat", "moov", "pnot", "wide"}) bKnown = bKnown || KivBytesAt(h, 4, t);
        return nSize >= 8 && bKnown ? nSize : 0;
    });
    if (pos == 0) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFileMOVAnalyser() { return new FileMOVAnalyser; }
