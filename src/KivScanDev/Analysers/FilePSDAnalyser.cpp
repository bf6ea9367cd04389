#include "Analysers/FilePSDAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FilePSDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, "8BPS"), pInfo, 50);
}

// Header, three length-prefixed sections, then the merged image: raw, or run-length coded with a
// table of row lengths in front.
bool FilePSDAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto h = rd.Window(0, 26);
    if (h.empty()) return false;
    KivByteReader r(h);
    if (!KivBytesAt(h, 0, "8BPS") || r.U16BEAt(4) != 1 || !KivBytesAt(h, 6, "\0\0\0\0\0\0")) return false;
    const uint64_t nChannels = r.U16BEAt(12), nHeight = r.U32BEAt(14), nWidth = r.U32BEAt(18), nDepth = r.U16BEAt(22);

    uint64_t pos = 26;
    for (int i = 0; i < 3; ++i) {
        uint32_t nLen;
        if (pos > nCap || !rd.ReadU32BE(pos, nLen)) return false;
        pos += 4 + uint64_t(nLen);
    }
    uint16_t nCompression;
    if (pos > nCap || !rd.ReadU16BE(pos, nCompression)) return false;
    pos += 2;
    uint64_t nRows, nData = 0;
    if (KivMulOverflows(nHeight, nChannels, &nRows)) return false;
    if (nCompression == 0) {
        uint64_t nBits;
        if (KivMulOverflows(nRows, nWidth, &nBits) || KivMulOverflows(nBits, nDepth, &nBits)) return false;
        nData = nBits / 8;
    } else if (nCompression == 1) {
        if (nRows > nCap / 2) return false;
        for (uint64_t i = 0; i < nRows; ++i) {
            uint16_t nRow;
            if (!rd.ReadU16BE(pos + 2 * i, nRow)) return false;
            nData += 2 + nRow;
            if (i % 4096 == 4095) KivPumpMessages();
        }
    } else {
        return false;
    }
    if (KivAddOverflows(pos, nData, &pos)) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFilePSDAnalyser() { return new FilePSDAnalyser; }
