#include "Analysers/FileHTMAnalyser.h"

#include <algorithm>
#include <cstring>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

bool FileHTMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    bool bMatch = KivBytesAtNoCase(sector, 0, "<HTML>") || KivBytesAtNoCase(sector, 0, "<!DOCTYPE HTML");
    if (!bMatch && KivBytesAt(sector, 0, "<!")) {
        for (size_t off = 0; off <= 504 && !bMatch; ++off) bMatch = KivBytesAtNoCase(sector, off, "<HTML>");
    }
    if (!bMatch) return false;
    pInfo->m_nTypeId = 31;
    return true;
}

namespace {

constexpr uint64_t kMaxPage = 1u << 20;  // a page whose closing tag is not found ends here at most
constexpr char kClose[] = "</html>";
constexpr size_t kCloseLen = sizeof kClose - 1;

// Control characters other than blanks never stand in a page: the text ended before them.
bool IsText(uint8_t c) { return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x1B; }
bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

}  // namespace

// The page ends after its closing tag and the blanks the writer put after it (up to the end of
// the sector they start in: what fills the next sectors is no longer known to be this page's).
// A page whose closing tag is not found ends where its text ends, at most kMaxPage bytes, as a
// file whose end was not found.
bool FileHTMAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nLimit = std::min<uint64_t>(kMaxPage, KivScanSettings::Get().nMaxCarvedSize);
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t pos = 0, nClosed = 0;
    for (uint64_t nStep = 1; pos < nLimit && !nClosed; ++nStep) {
        auto text = rd.Stream(pos, nLimit - pos);
        if (text.empty()) break;
        size_t i = 0;
        for (; i < text.size(); ++i) {
            uint8_t c = text[i];
            if (!IsText(c)) {
                pInfo->m_nSize = pos + i;
                pInfo->m_nDamage = kCarveEndNotFound;
                return pos + i != 0;
            }
            if (c != '<') continue;
            uint8_t tag[kCloseLen];
            bool bCopied = text.size() - i < kCloseLen;
            if (bCopied ? rd.Read(pos + i, tag, kCloseLen) : (std::memcpy(tag, text.data() + i, kCloseLen), true)) {
                if (KivBytesAtNoCase(std::span<const uint8_t>(tag), 0, kClose)) nClosed = pos + i + kCloseLen;
            }
            if (nClosed || bCopied) {
                ++i;
                break;
            }
        }
        pos += i;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (!nClosed) {
        pInfo->m_nSize = std::min(pos, nLimit);
        pInfo->m_nDamage = kCarveEndNotFound;
        return pInfo->m_nSize != 0;
    }
    uint64_t nSectorSize = rd.WindowBytes() / CRawFileReader::kWindowSectors;
    uint64_t nStop = (nClosed / nSectorSize + 1) * nSectorSize;
    uint64_t nEnd = nClosed;
    for (uint8_t c; nEnd < nStop && rd.ReadU8(nEnd, c) && IsBlank(c);) ++nEnd;
    pInfo->m_nSize = nEnd;
    return true;
}

IRawFileAnalyser* CreateFileHTMAnalyser() { return new FileHTMAnalyser; }
