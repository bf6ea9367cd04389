#include "CKivEfsStream.h"

#include <cerrno>
#include <cstring>

#include "KivByteReader.h"

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
// Four ASCII characters as UTF-16LE.
void PutTag(uint8_t* p, const char* s) {
    for (size_t i = 0; s[i]; ++i) Put16(p + 2 * i, static_cast<uint8_t>(s[i]));
}

bool ReadAll(CKivFile& f, uint8_t* p, size_t n, size_t* pGot) {
    int64_t r = f.Read(p, n);
    if (r < 0) return false;
    *pGot = static_cast<size_t>(r);
    return true;
}

bool WriteAll(CKivFile& f, const uint8_t* p, size_t n) { return f.WriteAll(p, n); }

}  // namespace

std::array<uint8_t, CKivEfsStream::kStreamHeaderSize> CKivEfsStream::StreamHeader(uint32_t nMetadataLen) {
    std::array<uint8_t, kStreamHeaderSize> h{};
    Put32(&h[0], 256);
    PutTag(&h[4], "ROBS");
    Put32(&h[20], 30);
    PutTag(&h[24], "NTFS");
    Put32(&h[44], 2);
    Put16(&h[48], 0x1910);
    Put32(&h[50], nMetadataLen + 16);
    PutTag(&h[54], "GURE");
    return h;
}

std::array<uint8_t, CKivEfsStream::kDataHeaderSize> CKivEfsStream::DataStreamHeader() {
    std::array<uint8_t, kDataHeaderSize> h{};
    Put32(&h[0], 42);
    PutTag(&h[4], "NTFS");
    Put32(&h[24], 14);
    PutTag(&h[28], "::$DATA");
    return h;
}

std::array<uint8_t, CKivEfsStream::kBlockHeaderSize> CKivEfsStream::BlockHeader(uint32_t nPieceLen, uint16_t nPieceNo,
                                                                               uint32_t nValidLen) {
    std::array<uint8_t, kBlockHeaderSize> h{};
    Put32(&h[0], nPieceLen + 512);
    PutTag(&h[4], "GURE");
    Put16(&h[18], nPieceNo);
    Put32(&h[24], 496);
    Put32(&h[28], nValidLen);
    Put32(&h[32], nValidLen);
    Put32(&h[36], 0x10100000u);
    Put32(&h[40], 0x0001010Bu);
    Put32(&h[44], nPieceLen);
    return h;
}

CKivEfsStream::Outcome CKivEfsStream::Build(CKivFile& fdIn, CKivFile& fdOut, uint64_t nFileSize,
                                            const std::function<bool()>& isCancelled) {
    uint8_t head[kStreamHeaderSize];
    size_t got = 0;
    if (!ReadAll(fdIn, head, sizeof head, &got) || got != sizeof head) return kFailed;
    KivByteReader rd(head, sizeof head);
    uint32_t nMeta = rd.U32At(50);
    if (nMeta < 16) return kFailed;
    nMeta -= 16;
    std::vector<uint8_t> meta(nMeta);
    if (!ReadAll(fdIn, meta.data(), nMeta, &got) || got != nMeta) return kFailed;
    auto dataHead = DataStreamHeader();
    if (!WriteAll(fdOut, head, sizeof head) || !WriteAll(fdOut, meta.data(), nMeta) ||
        !WriteAll(fdOut, dataHead.data(), dataHead.size()))
        return kFailed;

    std::vector<uint8_t> piece(kPieceSize);
    uint64_t nLeft = nFileSize;
    for (uint32_t nPiece = 0;; ++nPiece) {
        if (!ReadAll(fdIn, piece.data(), kPieceSize, &got)) return kFailed;
        // A data length that is a whole number of pieces ends without an empty block.
        if (got == 0) break;
        uint32_t nValid = static_cast<uint32_t>(nLeft < got ? nLeft : got);
        nLeft -= nValid;
        auto blk = BlockHeader(static_cast<uint32_t>(got), static_cast<uint16_t>(nPiece), nValid);
        if (!WriteAll(fdOut, blk.data(), blk.size()) || !WriteAll(fdOut, piece.data(), got)) return kFailed;
        if (isCancelled && isCancelled()) return kCancelled;
        if (got < kPieceSize) break;
    }
    return kDone;
}
