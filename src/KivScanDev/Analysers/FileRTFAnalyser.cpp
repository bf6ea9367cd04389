#include "Analysers/FileRTFAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FileRTFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "{\\rtf")) return false;
    pInfo->m_nTypeId = 56;
    return true;
}

// The document is one group: it ends with the brace that closes the opening one. Escaped braces
// ("\{", "\}") are text and do not count; a zero byte means this is not text any more.
bool FileRTFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd;
    rd.Init(pStor, pInfo->m_nStartSector);
    uint64_t nDepth = 1;
    bool bEscape = false;
    for (uint64_t pos = 5, nStep = 1; pos < nCap; ++nStep) {
        // Whole chunks of text at a time; smaller ones near the end of the storage.
        uint64_t n = std::min<uint64_t>(4096, nCap - pos);
        auto text = rd.Window(pos, n);
        while (text.empty() && n > 1) text = rd.Window(pos, n /= 2);
        if (text.empty()) return false;
        for (size_t i = 0; i < text.size(); ++i) {
            uint8_t c = text[i];
            if (c == 0) return false;
            if (bEscape) {
                bEscape = false;
            } else if (c == '\\') {
                bEscape = true;
            } else if (c == '{') {
                ++nDepth;
            } else if (c == '}' && --nDepth == 0) {
                pInfo->m_nSize = pos + i + 1;
                return true;
            }
        }
        pos += text.size();
        if (nStep % 10 == 0) KivPumpMessages();
    }
    pInfo->m_nSize = nCap;
    return true;
}

IRawFileAnalyser* CreateFileRTFAnalyser() { return new FileRTFAnalyser; }
