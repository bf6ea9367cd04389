#include "Analysers/FileCR3Analyser.h"

#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivBoxWalk.h"

bool FileCR3Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (sector[0] != 0 || KivIsoBrandType(sector) != 77) return false;  // a small file-type box
    pInfo->m_nTypeId = 77;
    return true;
}

// The camera's metadata and the tracks' index are in moov, the pictures in mdat.
bool FileCR3Analyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    return KivMeasureIsoBoxes(pInfo, pStor, std::span<const char>("moovmdat", 8));
}

IRawFileAnalyser* CreateFileCR3Analyser() { return new FileCR3Analyser; }
