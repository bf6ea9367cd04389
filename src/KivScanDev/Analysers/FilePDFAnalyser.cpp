#include "Analysers/FilePDFAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"

bool FilePDFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "%PDF-")) return false;
    pInfo->m_nTypeId = 46;
    return true;
}

// Scans the text for the end-of-file marker. A marker followed by more text is the end of one
// revision of an incrementally updated document, and the scan goes on. A document that holds a
// PostScript header is an Illustrator file.
bool FilePDFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd;
    rd.Init(pStor, pInfo->m_nStartSector);
    auto isText = [](uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n'; };
    uint32_t nType = 46;
    uint64_t nEnd = 0;
    for (uint64_t pos = 4; !nEnd;) {
        bool bFailed = false;
        uint64_t at = rd.Find(pos, nCap, "%", false, &bFailed);
        if (at == CRawFileReader::kNotFound) {
            if (bFailed) return false;
            nEnd = nCap;
            break;
        }
        uint8_t m[10] = {};
        for (size_t n = 10; n > 0 && !rd.Read(at, m, n); --n) m[n - 1] = 0;
        std::span<const uint8_t> mark(m);
        pos = at + 1;
        if (KivBytesAt(mark, 0, "%!PS-Adobe")) {
            nType = 5;
        } else if (KivBytesAt(mark, 0, "%PDF-")) {
            nEnd = at;  // the next document begins
        } else if (KivBytesAt(mark, 0, "%%EOF")) {
            uint8_t t[3];
            bool bMore = rd.Read(at + 5, t, 3) && std::all_of(t, t + 3, isText);
            if (!bMore) {
                // The file ends after the marker's line end (CR LF, LF or CR).
                uint8_t e[2] = {0, 0};
                rd.Read(at + 5, e, 1);
                rd.Read(at + 6, e + 1, 1);
                nEnd = at + 5 + (e[0] == '\r' && e[1] == '\n' ? 2 : (e[0] == '\r' || e[0] == '\n') ? 1 : 0);
            }
        }
    }
    pInfo->m_nTypeId = nType;
    pInfo->m_nSize = std::min(nEnd, nCap);
    return true;
}

IRawFileAnalyser* CreateFilePDFAnalyser() { return new FilePDFAnalyser; }
