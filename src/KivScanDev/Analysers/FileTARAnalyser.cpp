#include "Analysers/FileTARAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint64_t kBlock = 512;
constexpr uint64_t kRecord = 20 * kBlock;  // archives are written in records of 20 blocks

// The size field: octal digits, possibly led by spaces and ended by a space or zero byte.
bool ParseOctal(std::span<const uint8_t> f, uint64_t& v) {
    v = 0;
    size_t i = 0;
    while (i < f.size() && f[i] == ' ') ++i;
    size_t nDigits = 0;
    for (; i < f.size() && f[i] >= '0' && f[i] <= '7'; ++i, ++nDigits) v = v << 3 | uint64_t(f[i] - '0');
    return nDigits > 0 && nDigits <= 21 && (i == f.size() || f[i] == ' ' || f[i] == 0);
}

}  // namespace

bool FileTARAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 257, "ustar"), pInfo, 59);
}

// Walks the member headers. Members without data (folders, links) are headers of size 0 and the
// walk goes on over them; the all-zero end blocks, with the zero padding up to the end of their
// record, close the archive.
bool FileTARAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto isZero = [](std::span<const uint8_t> b) {
        return std::all_of(b.begin(), b.end(), [](uint8_t c) { return c == 0; });
    };
    uint64_t pos = 0;
    bool bEnded = false;
    for (uint64_t nStep = 1; pos <= nCap; ++nStep) {
        auto h = rd.Window(pos, kBlock);
        if (h.empty()) break;
        if (isZero(h)) {
            if (pos == 0) return false;
            uint64_t q = pos;
            do {
                q += kBlock;
                h = q % kRecord != 0 && q <= nCap ? rd.Window(q, kBlock) : std::span<const uint8_t>();
            } while (!h.empty() && isZero(h));
            pos = q;
            bEnded = true;
            break;
        }
        uint64_t nData;
        if (!KivBytesAt(h, 257, "ustar") || !ParseOctal(h.subspan(124, 12), nData)) break;
        uint64_t nNext;
        if (KivAddOverflows(pos, kBlock + (nData + kBlock - 1) / kBlock * kBlock, &nNext)) break;
        pos = nNext;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (pos == 0) return false;
    pInfo->m_nSize = std::min(pos, nCap);
    // Without its end blocks the archive was cut or overwritten after its last whole member.
    if (!bEnded) pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}

IRawFileAnalyser* CreateFileTARAnalyser() { return new FileTARAnalyser; }
