#include "Analysers/FileDWGAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
const char* const kVersions[] = {"AC1018", "AC1015", "AC1014", "AC1013", "AC1009", "AC1012", "AC1021"};
const uint8_t kImageSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                    0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
const uint8_t kR18Sentinel[16] = {0x68, 0x40, 0xF8, 0xF7, 0x92, 0x2A, 0xB5, 0xEF,
                                  0x18, 0xDD, 0x0B, 0xF1, 0xF1, 0xBB, 0xE9, 0xEB};
constexpr uint64_t kSearchLimit = 524287999;

// Section locators of the R13 to R15 drawings: the section with the largest seeker ends the file.
bool MeasureR13(CRawFileReader& rd, CRawFileInfo* pInfo) {
    uint32_t nImage = 0, nCount = 0;
    if (!rd.ReadU32LE(13, nImage) || !rd.ReadU32LE(21, nCount)) return false;
    auto s = rd.Window(nImage, 16);
    if (s.empty() || !KivBytesAt(s, 0, kImageSentinel) || nCount < 1 || nCount > 100) return false;
    auto loc = rd.Window(25, 9 * nCount);
    if (loc.empty()) return false;
    KivByteReader r(loc);
    uint64_t nBest = 0, nSize = 0;
    for (uint32_t i = 0; i < nCount; ++i) {
        uint32_t nSeeker = r.U32At(9 * i + 1);
        if (i == 0 || nSeeker > nBest) {
            nBest = nSeeker;
            nSize = uint64_t(nSeeker) + r.U32At(9 * i + 5);
        }
    }
    if (!r.Ok() || nSize == 0) return false;
    pInfo->m_nSize = nSize;
    return true;
}

// R18 and R21 repeat a 16-byte sentinel near the end; the file ends a fixed distance after it.
bool MeasureBySentinel(CRawFileReader& rd, CRawFileInfo* pInfo, std::span<const uint8_t> pattern, uint64_t nTail) {
    uint64_t nEnd = std::min<uint64_t>(KivScanSettings::Get().nMaxCarvedSize, kSearchLimit);
    bool bFailed = false;
    std::string_view needle(reinterpret_cast<const char*>(pattern.data()), pattern.size());
    uint64_t x = rd.Find(144, nEnd, needle, false, &bFailed);
    if (x == CRawFileReader::kNotFound) {
        if (bFailed) return false;
        pInfo->m_nSize = nEnd;
        return true;
    }
    pInfo->m_nSize = x + nTail;
    return true;
}
}  // namespace

bool FileDWGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 6, std::string_view("\0\0", 2))) return false;
    for (const char* v : kVersions) {
        if (KivBytesAt(sector, 0, v)) {
            pInfo->m_nTypeId = 22;
            return true;
        }
    }
    return false;
}

bool FileDWGAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto head = rd.Window(0, 144);
    if (head.empty()) return false;
    std::string_view ver(reinterpret_cast<const char*>(head.data()), 6);
    if (ver >= "AC1012" && ver <= "AC1015") return MeasureR13(rd, pInfo);
    if (ver == "AC1018") {
        if (!KivBytesAt(head, 128, kR18Sentinel)) return false;
        return MeasureBySentinel(rd, pInfo, kR18Sentinel, 108);
    }
    if (ver == "AC1021") {
        uint8_t pattern[16];
        std::copy(head.begin() + 128, head.begin() + 144, pattern);
        return MeasureBySentinel(rd, pInfo, pattern, 1024);
    }
    return false;  // R11/R12 drawings are recognised but cannot be measured
}

IRawFileAnalyser* CreateFileDWGAnalyser() { return new FileDWGAnalyser; }
