#include "Analysers/FileRTFAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FileRTFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, "{\\rtf"), pInfo, 56);
}

// The document is one group: it ends with the brace that closes the opening one, and the line end
// the writer put after it. Escaped braces ("\{", "\}") are text and do not count. RTF is 7-bit
// text: a zero byte, another control character or a byte above 0x7E means the document was cut
// there, and it ends as a file whose end was not found (so does one still open at the size cap).
bool FileRTFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t nDepth = 1;
    bool bEscape = false;
    uint64_t pos = 5;
    for (uint64_t nStep = 1; pos < nCap; ++nStep) {
        auto text = rd.Stream(pos, nCap - pos);
        if (text.empty()) break;
        for (size_t i = 0; i < text.size(); ++i) {
            uint8_t c = text[i];
            if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t' && c != '\f') || c > 0x7E) {
                pInfo->m_nSize = pos + i;
                pInfo->m_nDamage = kCarveEndNotFound;
                return true;
            }
            if (bEscape) {
                bEscape = false;
            } else if (c == '\\') {
                bEscape = true;
            } else if (c == '{') {
                ++nDepth;
            } else if (c == '}' && --nDepth == 0) {
                uint64_t nEnd = pos + i + 1;
                uint8_t e[2] = {0, 0};
                rd.Read(nEnd, e, 1);
                rd.Read(nEnd + 1, e + 1, 1);
                nEnd += e[0] == '\r' && e[1] == '\n' ? 2 : (e[0] == '\r' || e[0] == '\n') ? 1 : 0;
                pInfo->m_nSize = std::min(nEnd, nCap);
                return true;
            }
        }
        pos += text.size();
        if (nStep % 10 == 0) KivPumpMessages();
    }
    pInfo->m_nSize = std::min(pos, nCap);
    pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}

IRawFileAnalyser* CreateFileRTFAnalyser() { return new FileRTFAnalyser; }
