#include "Analysers/FileGZAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"

bool FileGZAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "\x1F\x8B\x08")) return false;
    pInfo->m_nTypeId = 29;
    return true;
}

// A deflate stream does not state its length; the file is taken up to the size cap.
bool FileGZAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* /*pStor*/) {
    pInfo->m_nSize = KivScanSettings::Get().nMaxCarvedSize;
    return true;
}

IRawFileAnalyser* CreateFileGZAnalyser() { return new FileGZAnalyser; }
