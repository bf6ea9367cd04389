#include "Analysers/File3GPAnalyser.h"

#include "Analysers/FileMP4Analyser.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"

bool File3GPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAtNoCase(sector, 4, "ftyp3g2a") && !KivBytesAtNoCase(sector, 4, "ftyp3gp4")) return false;
    pInfo->m_nTypeId = 2;
    return true;
}

// 3GP files are ISO media files: the same box walk as MP4.
bool File3GPAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    return FileMP4Analyser::MeasureBoxes(pInfo, pStor);
}

IRawFileAnalyser* CreateFile3GPAnalyser() { return new File3GPAnalyser; }
