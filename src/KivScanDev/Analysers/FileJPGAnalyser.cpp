#include "Analysers/FileJPGAnalyser.h"

#include <algorithm>

#include "Analysers/CJpegExifReader.h"
#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
enum class Walk { Jfif, Exif, Plain };

enum : uint8_t { kSOF0 = 0xC0, kSOF2 = 0xC2, kSOS = 0xDA, kFill = 0xFF };
}  // namespace

bool FileJPGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (sector.size() < 10 || sector[0] != 0xFF || sector[1] != 0xD8 || sector[2] != 0xFF) return false;
    uint8_t m = sector[3];
    if (m != 0xE0 && m != 0xE1 && m != 0xDB) return false;
    if (m != 0xDB && !KivBytesAtNoCase(sector, 6, "JFIF") && !KivBytesAtNoCase(sector, 6, "Exif")) return false;
    pInfo->m_nTypeId = 33;
    return true;
}

void FileJPGAnalyser::ReadExif(CRawFileReader& rd, CRawFileInfo* pInfo) {
    uint16_t nLen = 0;
    if (!rd.ReadU16BE(4, nLen) || nLen < 2) return;
    auto block = rd.Window(6, nLen - 2u);
    if (block.empty()) return;
    CJpegExifReader exif;
    if (!exif.Parse(block)) return;
    m_strTitle = exif.m_strModel.find('<') == std::string::npos ? exif.m_strModel : exif.m_strMaker;
    m_strDetail = exif.m_strOriginal;
    pInfo->m_strTitle = m_strTitle;
    pInfo->m_strDetail = m_strDetail;
}

// Segments are walked by their lengths up to the start of scan; the entropy-coded data after it
// is searched for the end-of-image marker, at most three bytes per pixel.
bool FileJPGAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto head = rd.Window(0, 12);
    if (head.empty()) return false;
    Walk walk = KivBytesAtNoCase(head, 6, "JFIF") ? Walk::Jfif : KivBytesAtNoCase(head, 6, "Exif") ? Walk::Exif : Walk::Plain;
    if (walk == Walk::Exif) ReadExif(rd, pInfo);

    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    uint64_t pos = 2, nWidth = 0, nHeight = 0, nSteps = 0;
    bool bFrame = false;
    for (;;) {
        if (pos > nCap) {
            pInfo->m_nSize = pos;
            return true;
        }
        if (++nSteps % 10 == 0) KivPumpMessages();
        auto seg = rd.Window(pos, 12);
        if (seg.empty()) return false;
        if (seg[0] != 0xFF) return false;
        uint8_t m = seg[1];
        if (m == kFill) {  // fill byte before a marker
            pos += 1;
            continue;
        }
        KivByteReader r(seg);
        uint16_t nLen = r.U16BEAt(2);
        if (m == kSOF0 || (m == kSOF2 && walk != Walk::Plain && !bFrame)) {
            if (seg[4] != 8 || (walk == Walk::Plain && seg[9] != 3)) return false;
            nHeight = r.U16BEAt(5);
            nWidth = r.U16BEAt(7);
            bFrame = true;
        } else if (m == kSOS) {
            if (!bFrame || (walk == Walk::Plain && seg[4] != 3)) return false;
            break;
        }
        pos += uint64_t(nLen) + 2;
    }
    // pos is at the start-of-scan marker.
    uint64_t nSearch = std::min(nWidth * nHeight * 3, nCap);
    uint64_t nEnd = std::min(pos + nSearch, std::max(nCap, pos));
    bool bFailed = false;
    uint64_t at = rd.Find(pos, nEnd, "\xFF\xD9", false, &bFailed);
    if (at == CRawFileReader::kNotFound) {
        if (bFailed) return false;
        at = nEnd;
    }
    pInfo->m_nSize = at + 2;
    return true;
}

IRawFileAnalyser* CreateFileJPGAnalyser() { return new FileJPGAnalyser; }
