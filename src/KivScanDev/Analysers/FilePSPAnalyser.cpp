#include "Analysers/FilePSPAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivChunkWalk.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"

namespace {
constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a\0\0\0\0\0";
}  // namespace

bool FilePSPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, kSignature), pInfo, 51);
}

// Main blocks ("~BK" 0, id, total length) follow the 36-byte header back to back.
bool FilePSPAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    const uint64_t pos = KivWalkChunks(rd, 36, 10, nCap, [](std::span<const uint8_t> h) -> uint64_t {
        return KivBytesAt(h, 0, "~BK\0") ? 10 + uint64_t(KivByteReader(h).U32At(6)) : 0;
    });
    if (pos < 512) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFilePSPAnalyser() { return new FilePSPAnalyser; }
