#include "Analysers/FileGIFAnalyser.h"

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
constexpr uint64_t kMaxStray = 1024;

// Skips a chain of data sub-blocks (length byte, data) up to the zero-length one.
bool SkipSubBlocks(CRawFileReader& rd, uint64_t& pos, uint64_t nCap, uint64_t& nSteps) {
    for (;;) {
        if (++nSteps % 10 == 0) KivPumpMessages();
        uint8_t n = 0;
        if (!rd.ReadU8(pos, n)) return false;
        pos += 1 + uint64_t(n);
        if (n == 0 || pos > nCap) return true;
    }
}

uint64_t ColourTableBytes(uint8_t nFlags) { return (nFlags & 0x80) ? 3ull << ((nFlags & 7) + 1) : 0; }
}  // namespace

bool FileGIFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "GIF87a") && !KivBytesAt(sector, 0, "GIF89a")) return false;
    pInfo->m_nTypeId = 28;
    return true;
}

// Extension and image blocks follow the screen descriptor up to the trailer ';'.
bool FileGIFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    uint8_t nFlags = 0;
    if (!rd.ReadU8(10, nFlags)) return false;
    uint64_t pos = 13 + ColourTableBytes(nFlags);
    uint64_t nStray = 0, nSteps = 0;
    while (pos <= nCap) {
        uint8_t b = 0;
        if (!rd.ReadU8(pos, b)) return false;
        if (b == ';') {
            pInfo->m_nSize = pos + 1;
            return true;
        }
        if (b == '!') {
            pos += 2;  // introducer and label
            if (!SkipSubBlocks(rd, pos, nCap, nSteps)) return false;
        } else if (b == ',') {
            uint8_t nLocal = 0;
            if (!rd.ReadU8(pos + 9, nLocal)) return false;
            pos += 10 + ColourTableBytes(nLocal) + 1;  // descriptor, local table, LZW code size
            if (!SkipSubBlocks(rd, pos, nCap, nSteps)) return false;
        } else {
            if (++nStray > kMaxStray) return false;
            ++pos;
            continue;
        }
        nStray = 0;
    }
    pInfo->m_nSize = nCap;
    return true;
}

IRawFileAnalyser* CreateFileGIFAnalyser() { return new FileGIFAnalyser; }
