#include "Analysers/FilePDFAnalyser.h"

#include <algorithm>
#include <cstring>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FilePDFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, "%PDF-"), pInfo, 46);
}

namespace {

// A document whose end marker was not found ends after the last whole object seen; the scan gives
// up once this many bytes pass without another one.
constexpr uint64_t kMaxGapWithoutObject = 8u << 20;

size_t LineEnd(const uint8_t* p, size_t n) {
    if (n >= 2 && p[0] == '\r' && p[1] == '\n') return 2;
    return n >= 1 && (p[0] == '\r' || p[0] == '\n') ? 1 : 0;
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Whether the bytes after an end marker begin another revision of the document (an incremental
// update or the rest of a linearised file): "N G obj", "xref" or a comment, after blanks.
bool RevisionFollows(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\r' || p[i] == '\n' || p[i] == '\t')) ++i;
    if (i + 4 <= n && std::memcmp(p + i, "xref", 4) == 0) return true;
    if (i < n && p[i] == '%' && i + 1 < n && p[i + 1] != '%') return false;
    size_t d = i;
    while (i < n && IsDigit(p[i])) ++i;
    if (i == d || i >= n || p[i] != ' ') return false;
    d = ++i;
    while (i < n && IsDigit(p[i])) ++i;
    if (i == d) return false;
    while (i < n && p[i] == ' ') ++i;
    return i + 3 <= n && std::memcmp(p + i, "obj", 3) == 0;
}

}  // namespace

// Scans for the end-of-file marker. A marker followed by another revision (an incremental update,
// the second part of a linearised file) is not the end, and the scan goes on; otherwise the file
// ends after the marker's line end. A document that holds a PostScript header is an Illustrator
// file. Without an end marker (cut, overwritten, or a new document beginning) the file ends after
// its last whole object and is reported as one whose end was not found.
bool FilePDFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint32_t nType = 46;
    uint64_t nEnd = 0, nLastObject = 0;
    bool bWhole = false;
    uint64_t pos = 4;
    for (uint64_t nStep = 1; pos < nCap && !nEnd; ++nStep) {
        if (pos > nLastObject + kMaxGapWithoutObject) break;
        auto text = rd.Stream(pos, nCap - pos);
        if (text.empty()) break;
        size_t i = 0;
        for (; i < text.size(); ++i) {
            uint8_t c = text[i];
            if (c != '%' && c != 'e') continue;
            uint64_t at = pos + i;
            // The marker and what follows it; copied (which may move the reader's window) only
            // when it runs past the bytes at hand.
            uint8_t m[48] = {};
            const uint8_t* q = text.data() + i;
            size_t n = sizeof m;
            bool bCopied = text.size() - i < n;
            if (bCopied) {
                while (n > 0 && !rd.Read(at, m, n)) --n;
                q = m;
            }
            std::span<const uint8_t> mark(q, n);
            if (KivBytesAt(mark, 0, "endobj")) {
                nLastObject = at + 6 + LineEnd(q + 6, n - 6);
            } else if (KivBytesAt(mark, 0, "%!PS-Adobe")) {
                nType = 5;
            } else if (KivBytesAt(mark, 0, "%PDF-")) {
                nEnd = at;  // the next document begins
            } else if (KivBytesAt(mark, 0, "%%EOF")) {
                size_t nEol = LineEnd(q + 5, n - 5);
                nLastObject = at + 5 + nEol;
                if (!RevisionFollows(q + 5 + nEol, n - 5 - nEol)) {
                    nEnd = nLastObject;
                    bWhole = true;
                }
            }
            if (nEnd || bCopied) {
                ++i;
                break;
            }
        }
        pos += i;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (!bWhole) {
        nEnd = nLastObject ? std::min(nLastObject, nEnd ? nEnd : nLastObject) : nEnd;
        pInfo->m_nDamage = kCarveEndNotFound;
        if (nEnd == 0) nEnd = std::min(pos, nCap);
    }
    pInfo->m_nTypeId = nType;
    pInfo->m_nSize = std::min(nEnd, nCap);
    return pInfo->m_nSize != 0;
}

IRawFileAnalyser* CreateFilePDFAnalyser() { return new FilePDFAnalyser; }
