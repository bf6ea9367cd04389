#include "Analysers/FileHTMAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivTerminatorWalk.h"

bool FileHTMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    bool bMatch = KivBytesAtNoCase(sector, 0, "<HTML>") || KivBytesAtNoCase(sector, 0, "<!DOCTYPE HTML");
    if (!bMatch && KivBytesAt(sector, 0, "<!")) {
        for (size_t off = 0; off <= 504 && !bMatch; ++off) bMatch = KivBytesAtNoCase(sector, off, "<HTML>");
    }
    if (!bMatch) return false;
    pInfo->m_nTypeId = 31;
    return true;
}

// A page without its closing tag within 1 MiB is not taken: the rest would be guesswork.
bool FileHTMAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    return KivMeasureToTerminator(pInfo, pStor, "</HTML>", 1u << 20, false);
}

IRawFileAnalyser* CreateFileHTMAnalyser() { return new FileHTMAnalyser; }
