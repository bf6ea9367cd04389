#include "Analysers/FileHEIFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivBoxWalk.h"

bool FileHEIFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    // The file-type box is small: its size's first byte is zero.
    uint32_t nType = KivIsoBrandType(sector);
    if (sector[0] != 0 || (nType != 75 && nType != 76)) return false;
    pInfo->m_nTypeId = nType;
    return true;
}

// A picture keeps its items' descriptions in the meta box and their data in mdat (or idat).
bool FileHEIFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    return KivMeasureIsoBoxes(pInfo, pStor, std::span<const char>("meta", 4));
}

IRawFileAnalyser* CreateFileHEIFAnalyser() { return new FileHEIFAnalyser; }
