#include "Analysers/FileFH11Analyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivTerminatorWalk.h"
#include "Model/KivScanSettings.h"

bool FileFH11Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    static const uint8_t kMagic[16] = {0x1C, 0x01, 0x00, 0x00, 0x02, 0x00, 0x04, 0x1C,
                                       0x01, 0x14, 0x00, 0x02, 0x00, 0x14, 0x1C, 0x01};
    if (!KivBytesAt(sector, 0, kMagic) || !KivBytesAt(sector, 34, "11")) return false;
    pInfo->m_nTypeId = 27;
    return true;
}

// The drawing's last record is the "Decode" entry followed by its end marker.
bool FileFH11Analyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    static constexpr char kEnd[] = "Decode\0\xFF\xFF\xFF\xFF";
    return KivMeasureToTerminator(pInfo, pStor, std::string_view(kEnd, sizeof kEnd - 1),
                                  KivScanSettings::Get().nMaxCarvedSize, true);
}

IRawFileAnalyser* CreateFileFH11Analyser() { return new FileFH11Analyser; }
