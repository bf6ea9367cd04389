#include "Analysers/FileSWFAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Plain and compressed movies both state their uncompressed length, which is what is stored for
// plain ones. Oversized declarations are filed under the video type.
bool FileSWFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "FWS") && !KivBytesAt(sector, 0, "CWS")) return false;
    KivByteReader r(sector);
    uint32_t nSize = r.U32At(4);
    if (nSize == 0) return false;
    pInfo->m_nTypeId = nSize > 0x63FFFFF ? 74 : 58;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileSWFAnalyser() { return new FileSWFAnalyser; }
