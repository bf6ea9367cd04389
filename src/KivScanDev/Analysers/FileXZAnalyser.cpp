#include "Analysers/FileXZAnalyser.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint64_t kLzma2 = 0x21;
constexpr size_t kMaxIndex = 1u << 24;
constexpr uint64_t kMaxBlocks = 1u << 20;

// Bytes of the check field for each check type.
uint64_t CheckBytes(uint8_t nType) {
    static constexpr uint8_t kSizes[16] = {0, 4, 4, 4, 8, 8, 8, 16, 16, 16, 32, 32, 32, 64, 64, 64};
    return kSizes[nType & 15];
}

// A variable-length integer (7 bits a byte, at most 9 bytes) of a header held in memory.
bool Vli(KivByteReader& r, uint64_t& v) {
    v = 0;
    for (unsigned i = 0; i < 9; ++i) {
        uint8_t b = r.U8();
        if (!r.Ok()) return false;
        v |= uint64_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) return i == 0 || b != 0;
    }
    return false;
}

// Where the LZMA2 data starting at off ends (after its end marker), or 0.
uint64_t Lzma2End(CRawFileReader& rd, uint64_t off, uint64_t nCap) {
    for (uint64_t pos = off, nStep = 1; pos < nCap; ++nStep) {
        uint8_t h[6];
        if (!rd.ReadU8(pos, h[0])) return 0;
        if (h[0] == 0) return pos + 1;
        if (h[0] == 1 || h[0] == 2) {
            if (!rd.Read(pos, h, 3)) return 0;
            pos += 3 + ((uint64_t(h[1]) << 8 | h[2]) + 1);
        } else if (h[0] >= 0x80) {
            if (!rd.Read(pos, h, 5)) return 0;
            pos += (h[0] >= 0xC0 ? 6 : 5) + ((uint64_t(h[3]) << 8 | h[4]) + 1);
        } else {
            return 0;
        }
        if (nStep % 64 == 0) KivPumpMessages();
    }
    return 0;
}

}  // namespace

bool FileXZAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "\xFD" "7zXZ\x00") || sector[6] != 0 || sector[7] > 15) return false;
    if (crc32(0, sector.data() + 6, 2) != KivByteReader(sector).U32At(8)) return false;
    pInfo->m_nTypeId = 85;
    return true;
}

// The stream ends with its footer. A block, index or footer that does not check means the stream
// was cut or overwritten there: it ends after its last whole block, as a file whose end was not
// found.
bool FileXZAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint8_t head[12];
    if (!rd.Read(0, head, 12)) return false;
    const uint8_t nCheck = head[7];
    uint64_t pos = 12, nGood = 12;
    std::vector<uint64_t> unpadded;
    auto damaged = [&] {
        pInfo->m_nSize = nGood;
        pInfo->m_nDamage = kCarveEndNotFound;
        return true;
    };
    // Blocks, up to the index indicator.
    for (;;) {
        if (unpadded.size() >= kMaxBlocks || pos >= nCap) return damaged();
        uint8_t b0;
        if (!rd.ReadU8(pos, b0)) return damaged();
        if (b0 == 0) break;
        size_t nHead = (size_t(b0) + 1) * 4;
        uint8_t bh[1024];
        if (!rd.Read(pos, bh, nHead) || crc32(0, bh, uInt(nHead - 4)) != KivByteReader(bh + nHead - 4, 4).U32At(0))
            return damaged();
        KivByteReader r(bh, nHead - 4);
        r.Seek(1);
        uint8_t nFlags = r.U8();
        uint64_t nPacked = 0, nUnpacked = 0, nId = 0;
        if ((nFlags & 0x40) && !Vli(r, nPacked)) return damaged();
        if ((nFlags & 0x80) && !Vli(r, nUnpacked)) return damaged();
        for (unsigned f = 0; f <= (nFlags & 3u); ++f) {
            uint64_t nProps;
            if (!Vli(r, nId) || !Vli(r, nProps) || !r.Skip(size_t(std::min<uint64_t>(nProps, nHead)))) return damaged();
        }
        uint64_t nDataEnd = 0;
        if (nFlags & 0x40) {
            nDataEnd = pos + nHead + nPacked;
        } else {
            if (nId != kLzma2 || !(nDataEnd = Lzma2End(rd, pos + nHead, nCap))) return damaged();
        }
        uint64_t nUnpadded = nDataEnd - pos + CheckBytes(nCheck);
        uint64_t nEnd = pos + (nDataEnd - pos + 3) / 4 * 4 + CheckBytes(nCheck);
        uint8_t last;
        if (nEnd > nCap || !rd.ReadU8(nEnd - 1, last)) return damaged();
        unpadded.push_back(nUnpadded);
        pos = nGood = nEnd;
        if (unpadded.size() % 16 == 0) KivPumpMessages();
    }
    // The index: its records must name the blocks walked, and its CRC-32 hold.
    std::vector<uint8_t> index(std::min<size_t>(kMaxIndex, 8 + unpadded.size() * 20 + 8));
    size_t n = index.size();
    while (n > 0 && !rd.Read(pos, index.data(), n)) --n;
    KivByteReader r(index.data(), n);
    r.Seek(1);
    uint64_t nRecords;
    if (!Vli(r, nRecords) || nRecords != unpadded.size()) return damaged();
    for (uint64_t u : unpadded) {
        uint64_t nU, nSize;
        if (!Vli(r, nU) || !Vli(r, nSize) || nU != u) return damaged();
    }
    size_t nIndex = (r.Pos() + 3) / 4 * 4;
    if (nIndex + 4 > n || crc32(0, index.data(), uInt(nIndex)) != KivByteReader(index.data(), n).U32At(nIndex))
        return damaged();
    nIndex += 4;
    // The footer: its CRC, the index size it states and the stream flags of the header.
    uint8_t foot[12];
    uint64_t nFoot = pos + nIndex;
    if (!rd.Read(nFoot, foot, 12) || foot[10] != 'Y' || foot[11] != 'Z' || foot[8] != head[6] || foot[9] != head[7])
        return damaged();
    KivByteReader f(foot, 12);
    if (crc32(0, foot + 4, 6) != f.U32At(0) || (uint64_t(f.U32At(4)) + 1) * 4 != nIndex) return damaged();
    pInfo->m_nSize = nFoot + 12;
    return true;
}

IRawFileAnalyser* CreateFileXZAnalyser() { return new FileXZAnalyser; }
