#include "Analysers/FilePSPAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a\0\0\0\0\0";
}  // namespace

bool FilePSPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, kSignature)) return false;
    pInfo->m_nTypeId = 51;
    return true;
}

// Main blocks ("~BK" 0, id, total length) follow the 36-byte header back to back.
bool FilePSPAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd;
    rd.Init(pStor, pInfo->m_nStartSector);
    uint64_t pos = 36;
    for (uint64_t nStep = 1; pos <= nCap; ++nStep) {
        auto h = rd.Window(pos, 10);
        if (h.empty() || !KivBytesAt(h, 0, "~BK\0")) break;
        pos += 10 + uint64_t(KivByteReader(h).U32At(6));
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (pos < 512) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFilePSPAnalyser() { return new FilePSPAnalyser; }
