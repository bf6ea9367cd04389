#include "Analysers/FileMIDAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

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
    CRawFileReader rd;
    rd.Init(pStor, pInfo->m_nStartSector);
    uint64_t pos = 14;
    for (uint64_t nStep = 1; pos <= nCap; ++nStep) {
        auto h = rd.Window(pos, 8);
        if (h.empty() || !KivBytesAtNoCase(h, 0, "MTrk")) break;
        pos += 8 + uint64_t(KivByteReader(h).U32BEAt(4));
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (pos == 14) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFileMIDAnalyser() { return new FileMIDAnalyser; }
