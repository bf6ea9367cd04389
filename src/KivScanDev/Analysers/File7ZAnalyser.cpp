#include "Analysers/File7ZAnalyser.h"

#include <zlib.h>

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
constexpr size_t kStartHeader = 32;
}  // namespace

// The signature, the version (major 0) and the CRC-32 of the start header's 20 bytes.
bool File7ZAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "7z\xBC\xAF\x27\x1C") || sector[6] != 0) return false;
    KivByteReader r(sector);
    if (crc32(0, sector.data() + 12, 20) != r.U32At(8)) return false;
    pInfo->m_nTypeId = 84;
    return true;
}

// The archive ends with its header: at 32 + next-header offset, of next-header size bytes, whose
// CRC-32 the start header keeps. A header that is not there or fails its CRC means the archive was
// cut or overwritten: it is kept to the stated end as a file whose end was not found.
bool File7ZAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint8_t h[kStartHeader];
    if (!rd.Read(0, h, sizeof h)) return false;
    KivByteReader r(h, sizeof h);
    uint64_t nOff = r.U64At(12), nLen = r.U64At(20);
    uint32_t nCrc = r.U32At(28);
    if (nOff > nCap || nLen > nCap || kStartHeader + nOff + nLen > nCap) {
        pInfo->m_nSize = nCap;
        pInfo->m_nDamage = kCarveEndNotFound;
        return true;
    }
    uint64_t nEnd = kStartHeader + nOff + nLen;
    uLong c = crc32(0, nullptr, 0);
    bool bRead = true;
    for (uint64_t p = kStartHeader + nOff, left = nLen, nStep = 1; left && bRead; ++nStep) {
        auto b = rd.Stream(p, left);
        if (b.empty()) bRead = false;
        c = crc32(c, b.data(), static_cast<uInt>(b.size()));
        p += b.size();
        left -= b.size();
        if (nStep % 10 == 0) KivPumpMessages();
    }
    pInfo->m_nSize = std::min(nEnd, rd.KnownEnd());
    if (!bRead || c != nCrc || nLen == 0) pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}

IRawFileAnalyser* CreateFile7ZAnalyser() { return new File7ZAnalyser; }
