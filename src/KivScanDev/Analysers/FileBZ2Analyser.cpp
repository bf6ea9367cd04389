#include "Analysers/FileBZ2Analyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint64_t kBlockMagic = 0x314159265359ull, kEndMagic = 0x177245385090ull;
constexpr uint64_t kMagicMask = 0xFFFFFFFFFFFFull;
// A block holds at most 900,000 bytes before compression; compressed, a little more in the worst
// case. No magic number within this many bytes of the last one means the stream was cut.
constexpr uint64_t kMaxBlockBytes = 1100000;

}  // namespace

bool FileBZ2Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    // "BZh", the block size digit, then the first block's magic (an empty stream has none).
    if (!KivBytesAt(sector, 0, "BZh") || sector[3] < '1' || sector[3] > '9' ||
        !KivBytesAt(sector, 4, "\x31\x41\x59\x26\x53\x59"))
        return false;
    pInfo->m_nTypeId = 86;
    return true;
}

// Walks the stream bit by bit from one magic number to the next: each block's 32-bit CRC follows
// its magic, and the end-of-stream marker is followed by the CRC combined from them all. The
// stream ends at the byte that holds the last bit of that CRC. A stream without its marker (or
// with a CRC that does not match) ends at the last magic found plus a block's worth, at most, as a
// file whose end was not found.
bool FileBZ2Analyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t nBits = 0;          // the last 64 bits read, the newest lowest
    uint64_t nBitPos = 4 * 8;    // bits read so far
    uint64_t nLastMagic = 4;     // byte offset of the last magic number found
    uint32_t nCombined = 0;
    enum { kSearch, kBlockCrc, kEndCrc } state = kSearch;
    unsigned nCrcBits = 0;
    uint32_t nCrc = 0;
    uint64_t pos = 4;
    for (uint64_t nStep = 1; pos < nCap; ++nStep) {
        if (state == kSearch && pos > nLastMagic + kMaxBlockBytes) break;
        auto b = rd.Stream(pos, nCap - pos);
        if (b.empty()) break;
        for (uint8_t byte : b) {
            for (int k = 7; k >= 0; --k) {
                uint32_t bit = (byte >> k) & 1;
                nBits = (nBits << 1) | bit;
                ++nBitPos;
                if (state != kSearch) {
                    nCrc = (nCrc << 1) | bit;
                    if (++nCrcBits < 32) continue;
                    if (state == kEndCrc) {
                        if (nCrc != nCombined) break;
                        pInfo->m_nSize = (nBitPos + 7) / 8;
                        return true;
                    }
                    nCombined = ((nCombined << 1) | (nCombined >> 31)) ^ nCrc;
                    state = kSearch;
                    continue;
                }
                if (nBitPos < 4 * 8 + 48) continue;
                uint64_t w = nBits & kMagicMask;
                if (w == kBlockMagic || w == kEndMagic) {
                    state = w == kBlockMagic ? kBlockCrc : kEndCrc;
                    nCrcBits = 0;
                    nCrc = 0;
                    nLastMagic = nBitPos / 8;
                }
            }
            if (state == kEndCrc && nCrcBits == 32) break;  // the combined CRC did not match
        }
        if (state == kEndCrc && nCrcBits == 32) break;
        pos += b.size();
        if (nStep % 10 == 0) KivPumpMessages();
    }
    pInfo->m_nSize = std::min({pos, nLastMagic + kMaxBlockBytes, nCap});
    pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}

IRawFileAnalyser* CreateFileBZ2Analyser() { return new FileBZ2Analyser; }
