#include "Ntfs/CKivNtfsBootSector.h"

#include <cstring>

#include "KivByteReader.h"

uint32_t KivNtfsBootSector::RecordBytes() const {
    if (nClusPerRecord < 0) {
        int shift = -nClusPerRecord;
        return (shift >= 9 && shift <= 16) ? (1u << shift) : 0;
    }
    uint64_t n = uint64_t(nClusPerRecord) * nSecPerClus * nBytesPerSector;
    return (n >= 512 && n <= 65536) ? uint32_t(n) : 0;
}

bool KivParseNtfsBootSector(std::span<const uint8_t> sector, KivNtfsBootSector* pOut) {
    KivByteReader r(sector);
    if (!r.Has(0, 512)) return false;
    static const char kOem[] = "NTFS    ";
    for (int i = 0; i < 8; ++i) {
        uint8_t c = r.U8At(3 + i);
        if (c >= 'a' && c <= 'z') c = uint8_t(c - 32);
        if (c != uint8_t(kOem[i])) return false;
    }
    uint16_t bps = r.U16At(11);
    if (bps == 0 || bps % 512) return false;
    if (r.U16At(14) != 0) return false;
    uint8_t spc = r.U8At(13);
    if (spc == 0 || (spc & (spc - 1))) return false;  // 1, 2, 4 ... 128
    static const int kZero[] = {16, 17, 18, 19, 20, 22, 23, 32, 33, 34, 35};
    for (int off : kZero)
        if (r.U8At(off) != 0) return false;
    if (r.U8At(510) != 0x55 || r.U8At(511) != 0xAA) return false;
    if (pOut) {
        pOut->nBytesPerSector = bps;
        pOut->nSecPerClus = spc;
        pOut->nTotalSectors = r.U64At(40);
        pOut->nMftCluster = r.U64At(48);
        pOut->nMftMirrCluster = r.U64At(56);
        pOut->nClusPerRecord = int8_t(r.U8At(64));
        pOut->nSerial = r.U64At(72);
    }
    return true;
}

bool KivIsNtfsRestartPage(std::span<const uint8_t> window) {
    KivByteReader r(window);
    if (!r.Has(0, 4096) || !r.Equals(0, "RSTR", 4)) return false;
    static const uint8_t kNtfs16[8] = {'N', 0, 'T', 0, 'F', 0, 'S', 0};
    if (!r.Equals(144, kNtfs16, 8)) return false;
    uint16_t usn = r.U16At(30);
    for (size_t s = 0; s < 8; ++s)
        if (r.U16At(s * 512 + 510) != usn) return false;
    return true;
}
