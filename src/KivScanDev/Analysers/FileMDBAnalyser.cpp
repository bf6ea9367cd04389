#include "Analysers/FileMDBAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FileMDBAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (KivBytesAt(sector, 0, "\0\x01\0\0Standard Jet DB"))
        pInfo->m_nTypeId = 37;
    else if (KivBytesAt(sector, 0, "\0\x01\0\0Standard ACE DB"))
        pInfo->m_nTypeId = 72;
    else
        return false;
    return true;
}

// Every used database page starts with its page type, never zero; the first zero page or
// unreadable page ends the file.
bool FileMDBAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    constexpr uint64_t kPage = 4096, kLimit = 0x63FFFFF;
    const uint64_t nLimit = std::min(KivScanSettings::Get().nMaxCarvedSize, kLimit);
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t pos = kPage;
    for (uint64_t nStep = 1; pos <= nLimit; pos += kPage, ++nStep) {
        const uint8_t* p = rd.ByteAt(pos);
        if (!p || *p == 0) break;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    pInfo->m_nSize = std::min(pos, nLimit);
    return true;
}

IRawFileAnalyser* CreateFileMDBAnalyser() { return new FileMDBAnalyser; }
