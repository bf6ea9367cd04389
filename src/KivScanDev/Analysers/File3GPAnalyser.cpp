#include "Analysers/File3GPAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool File3GPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAtNoCase(sector, 4, "ftyp3g2a") && !KivBytesAtNoCase(sector, 4, "ftyp3gp4")) return false;
    pInfo->m_nTypeId = 2;
    return true;
}

bool File3GPAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) { return MeasureBoxes(pInfo, pStor); }

bool File3GPAnalyser::MeasureBoxes(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    static const char* const kKinds[] = {"mdat", "moov", "free", "moof", "mfra"};
    auto isKnown = [](std::span<const uint8_t> d, size_t off) {
        for (const char* k : kKinds)
            if (KivBytesAtNoCase(d, off, k)) return true;
        return false;
    };
    CRawFileReader rd;
    rd.Init(pStor, pInfo->m_nStartSector);
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    uint32_t nFirst = 0;
    if (!rd.ReadU32BE(0, nFirst) || nFirst == 0 || (nFirst & 0x80000000u)) return false;
    uint64_t pos = nFirst;
    for (int i = 0; i < 500 && pos <= nCap; ++i) {
        if (i % 10 == 9) KivPumpMessages();
        auto box = rd.Window(pos, 16);
        if (box.empty()) break;
        uint32_t nSize = KivByteReader(box).U32BEAt(0);
        if (nSize == 0 || (nSize & 0x80000000u) || (!isKnown(box, 4) && !isKnown(box, 12))) break;
        pos += nSize;
    }
    pInfo->m_nSize = pos;
    return true;
}

IRawFileAnalyser* CreateFile3GPAnalyser() { return new File3GPAnalyser; }
