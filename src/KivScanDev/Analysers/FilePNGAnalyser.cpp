#include "Analysers/FilePNGAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint64_t kMaxChunk = 0x7FFFFFFF;  // the format's bound on a chunk's length

// Chunk types are four ASCII letters.
bool IsChunkType(const uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= 'a' && p[i] <= 'z'))) return false;
    return true;
}
}  // namespace

bool FilePNGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, kSignature), pInfo, 47);
}

bool FilePNGAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto ihdr = rd.Window(0, 24);
    if (ihdr.empty()) return false;
    KivByteReader r(ihdr);
    uint32_t nWidth = r.U32BEAt(16), nHeight = r.U32BEAt(20);
    if (!KivBytesAt(ihdr, 0, kSignature) || !KivBytesAt(ihdr, 12, "IHDR") || nWidth == 0 || nHeight == 0 ||
        nWidth >= 0x80000000u || nHeight >= 0x80000000u)
        return false;
    uint64_t pos = 8 + 12 + uint64_t(r.U32BEAt(8));
    bool bData = false;
    for (uint64_t nStep = 1; pos < nCap; ++nStep) {
        uint8_t h[8];
        if (!rd.Read(pos, h, 8)) break;
        KivByteReader c(h, 8);
        uint64_t nLen = c.U32BEAt(0);
        if (nLen > kMaxChunk || !IsChunkType(h + 4)) break;
        // A chunk whose data is not all there is where the file was cut.
        uint8_t last;
        if (!rd.ReadU8(pos + 12 + nLen - 1, last)) break;
        if (KivBytesAt(std::span<const uint8_t>(h), 4, "IDAT")) bData = true;
        pos += 12 + nLen;
        if (KivBytesAt(std::span<const uint8_t>(h), 4, "IEND")) {
            if (pos > nCap) break;
            pInfo->m_nSize = pos;
            return true;
        }
        if (nStep % 10 == 0) KivPumpMessages();
    }
    // The chain broke (or passed the size cap) before the end chunk: what holds image data is
    // kept, as a file whose end was not found.
    if (!bData) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}

IRawFileAnalyser* CreateFilePNGAnalyser() { return new FilePNGAnalyser; }
