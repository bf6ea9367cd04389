#include "Analysers/FileLZHAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivChunkWalk.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"

namespace {
bool IsMethod(std::span<const uint8_t> h) { return KivBytesAt(h, 2, "-lh5-") || KivBytesAt(h, 2, "-lh0-"); }
}  // namespace

bool FileLZHAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(IsMethod(sector), pInfo, 34);
}

// Each member header gives its own length (byte 0, not counting the two leading bytes) and the
// packed length (u32 at 7); the archive ends with a zero byte, counted when present.
bool FileLZHAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t pos = KivWalkChunks(rd, 0, 11, nCap, [](std::span<const uint8_t> h) -> uint64_t {
        return IsMethod(h) ? uint64_t(h[0]) + KivByteReader(h).U32At(7) + 2 : 0;
    });
    if (pos == 0) return false;
    const uint8_t* pEnd = pos < nCap ? rd.ByteAt(pos) : nullptr;
    if (pEnd && *pEnd == 0) ++pos;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFileLZHAnalyser() { return new FileLZHAnalyser; }
