#include "Analysers/FileDXFAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivTerminatorWalk.h"
#include "Model/KivScanSettings.h"

// ASCII drawing exchange files open with the header section and close with an "EOF" group.
bool FileDXFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, "  0\r\nSECTION\r\n  2\r\nHEADER\r\n"), pInfo, 23);
}

bool FileDXFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    return KivMeasureToTerminator(pInfo, pStor, "EOF\r\n", KivScanSettings::Get().nMaxCarvedSize, true);
}

IRawFileAnalyser* CreateFileDXFAnalyser() { return new FileDXFAnalyser; }
