#include "Analysers/FileMP4Analyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FileMP4Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAtNoCase(sector, 4, "ftypisom") && !KivBytesAtNoCase(sector, 4, "ftypmp42") &&
        !KivBytesAtNoCase(sector, 4, "ftypM4V "))
        return false;
    pInfo->m_nTypeId = 42;
    return true;
}

bool FileMP4Analyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) { return MeasureBoxes(pInfo, pStor); }

// After the first box (the file-type box), boxes of the kinds that carry a movie's data and index
// follow; the first other box, or 500 boxes, end the file.
bool FileMP4Analyser::MeasureBoxes(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint32_t nFirst;
    if (!rd.ReadU32BE(0, nFirst) || nFirst == 0 || (nFirst & 0x80000000u)) return false;
    uint64_t pos = nFirst;
    for (unsigned nBox = 0; nBox < 500 && pos <= nCap; ++nBox) {
        auto h = rd.Window(pos, 16);
        if (h.empty()) h = rd.Window(pos, 8);
        if (h.empty()) break;
        int32_t nSize = static_cast<int32_t>(KivByteReader(h).U32BEAt(0));
        bool bKnown = false;
        for (const char* t : {"mdat", "moov", "free", "moof", "mfra"})
            bKnown = bKnown || KivBytesAtNoCase(h, 4, t) || KivBytesAtNoCase(h, 12, t);
        if (nSize <= 0 || !bKnown) break;
        pos += uint64_t(nSize);
        if (nBox % 10 == 9) KivPumpMessages();
    }
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFileMP4Analyser() { return new FileMP4Analyser; }
