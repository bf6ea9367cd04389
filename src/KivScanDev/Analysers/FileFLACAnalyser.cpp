#include "Analysers/FileFLACAnalyser.h"

#include <algorithm>
#include <vector>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivVorbisComment.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint32_t kMaxFrameBytes = 1u << 24;  // the format's frame sizes are 24-bit
constexpr uint32_t kMaxMetadataBlocks = 1024;

// Bits of the file from a byte offset, most significant first, fetched through the reader.
class BitStream {
public:
    BitStream(CRawFileReader& rd, uint64_t off) : m_rd(rd), m_nPos(off) {}
    bool Bits(unsigned n, uint32_t& v) {
        v = 0;
        for (unsigned i = 0; i < n; ++i) {
            uint32_t b;
            if (!Bit(b)) return false;
            v = (v << 1) | b;
        }
        return true;
    }
    bool Bit(uint32_t& b) {
        if (m_nBits == 0) {
            if (m_cur.empty() && !Fetch()) return false;
            m_nByte = m_cur[0];
            m_cur = m_cur.subspan(1);
            ++m_nPos;
            m_nBits = 8;
        }
        b = (m_nByte >> --m_nBits) & 1;
        return true;
    }
    // Counts zero bits up to the next one bit (which is taken); fails past nMax.
    bool Unary(uint32_t nMax, uint32_t& n) {
        n = 0;
        for (uint32_t b;;) {
            if (!Bit(b)) return false;
            if (b) return true;
            if (++n > nMax) return false;
        }
    }
    bool Skip(uint64_t nBits) {
        if (nBits <= m_nBits) {
            m_nBits -= unsigned(nBits);
            return true;
        }
        nBits -= m_nBits;
        m_nBits = 0;
        uint64_t nBytes = nBits / 8;
        m_cur = nBytes <= m_cur.size() ? m_cur.subspan(size_t(nBytes)) : std::span<const uint8_t>();
        m_nPos += nBytes;
        uint32_t v;
        return Bits(unsigned(nBits % 8), v);
    }
    void AlignToByte() { m_nBits = 0; }
    uint64_t BytePos() const { return m_nPos; }  // offset of the next whole byte

private:
    bool Fetch() {
        m_cur = m_rd.Stream(m_nPos, 1u << 16);
        return !m_cur.empty();
    }
    CRawFileReader& m_rd;
    uint64_t m_nPos;
    std::span<const uint8_t> m_cur;
    uint8_t m_nByte = 0;
    unsigned m_nBits = 0;
};

uint8_t Crc8(const uint8_t* p, size_t n) {
    uint8_t c = 0;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = uint8_t(c & 0x80 ? (c << 1) ^ 0x07 : c << 1);
    }
    return c;
}

uint16_t Crc16(uint16_t c, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        c ^= uint16_t(p[i] << 8);
        for (int k = 0; k < 8; ++k) c = uint16_t(c & 0x8000 ? (c << 1) ^ 0x8005 : c << 1);
    }
    return c;
}

struct StreamInfo {
    uint32_t nBitsPerSample = 0;
    uint64_t nTotalSamples = 0;  // 0 when the writer did not know
    uint32_t nMaxFrame = 0;      // 0 when not known
};

struct FrameHeader {
    uint32_t nBlockSize = 0;
    uint32_t nChannels = 0;
    uint32_t nAssignment = 0;
    uint32_t nBitsPerSample = 0;
    uint64_t nHeaderBytes = 0;
};

// Decodes a frame header at off (sync code, fields, CRC-8).
bool ReadFrameHeader(CRawFileReader& rd, uint64_t off, const StreamInfo& si, FrameHeader& fh) {
    uint8_t h[16];
    size_t n = sizeof h;
    while (n > 0 && !rd.Read(off, h, n)) --n;
    if (n < 6 || h[0] != 0xFF || (h[1] & 0xFE) != 0xF8) return false;
    uint32_t nBs = h[2] >> 4, nRate = h[2] & 15, nCh = h[3] >> 4, nSz = (h[3] >> 1) & 7;
    if (nBs == 0 || nRate == 15 || nCh > 10 || nSz == 3 || (h[3] & 1)) return false;
    // The coded frame or sample number: UTF-8-like, 1 to 7 bytes.
    size_t p = 4;
    unsigned nExtra = h[p] < 0x80 ? 0 : h[p] >= 0xFE ? 6 : h[p] >= 0xFC ? 5 : h[p] >= 0xF8 ? 4 : h[p] >= 0xF0 ? 3
                    : h[p] >= 0xE0 ? 2 : h[p] >= 0xC0 ? 1 : 99;
    if (nExtra == 99 || (h[p] == 0xFF)) return false;
    ++p;
    for (unsigned i = 0; i < nExtra; ++i, ++p)
        if (p >= n || (h[p] & 0xC0) != 0x80) return false;
    uint32_t nBlock = 0;
    if (nBs == 1) nBlock = 192;
    else if (nBs <= 5) nBlock = 576u << (nBs - 2);
    else if (nBs >= 8) nBlock = 256u << (nBs - 8);
    if (nBs == 6 || nBs == 7) {
        if (p + (nBs == 7 ? 2 : 1) > n) return false;
        nBlock = (nBs == 6 ? h[p] : (uint32_t(h[p]) << 8 | h[p + 1])) + 1u;
        p += nBs == 7 ? 2 : 1;
    }
    if (nRate >= 12) p += nRate == 12 ? 1 : 2;
    if (p >= n || Crc8(h, p) != h[p]) return false;
    static constexpr uint32_t kSizes[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    fh.nBitsPerSample = nSz ? kSizes[nSz] : si.nBitsPerSample;
    if (fh.nBitsPerSample == 0 || fh.nBitsPerSample > 32) return false;
    fh.nBlockSize = nBlock;
    fh.nAssignment = nCh;
    fh.nChannels = nCh < 8 ? nCh + 1 : 2;
    fh.nHeaderBytes = p + 1;
    return true;
}

// Skips the residual of a subframe of nOrder warm-up samples.
bool SkipResidual(BitStream& bs, uint32_t nBlock, uint32_t nOrder) {
    uint32_t nMethod, nPartOrder;
    if (!bs.Bits(2, nMethod) || nMethod > 1 || !bs.Bits(4, nPartOrder)) return false;
    const unsigned nParamBits = nMethod == 0 ? 4 : 5;
    const uint32_t nEscape = nMethod == 0 ? 15 : 31;
    const uint32_t nParts = 1u << nPartOrder;
    if (nBlock % nParts || nBlock / nParts < (nPartOrder ? nOrder : 0) || nBlock < nOrder) return false;
    for (uint32_t part = 0; part < nParts; ++part) {
        uint32_t nSamples = nPartOrder == 0 ? nBlock - nOrder : nBlock / nParts - (part == 0 ? nOrder : 0);
        uint32_t k;
        if (!bs.Bits(nParamBits, k)) return false;
        if (k == nEscape) {
            uint32_t nRaw;
            if (!bs.Bits(5, nRaw) || !bs.Skip(uint64_t(nRaw) * nSamples)) return false;
            continue;
        }
        for (uint32_t i = 0; i < nSamples; ++i) {
            uint32_t q;
            if (!bs.Unary(1u << 20, q) || (k && !bs.Skip(k))) return false;
        }
    }
    return true;
}

bool SkipSubframe(BitStream& bs, uint32_t nBlock, uint32_t nBps) {
    uint32_t nPad, nType, nWasted;
    if (!bs.Bit(nPad) || nPad || !bs.Bits(6, nType) || !bs.Bit(nWasted)) return false;
    if (nWasted) {
        uint32_t k;
        if (!bs.Unary(32, k) || k + 1 >= nBps) return false;
        nBps -= k + 1;
    }
    if (nType == 0) return bs.Skip(nBps);
    if (nType == 1) return bs.Skip(uint64_t(nBps) * nBlock);
    if (nType >= 8 && nType <= 12) {
        uint32_t nOrder = nType - 8;
        return bs.Skip(uint64_t(nBps) * nOrder) && SkipResidual(bs, nBlock, nOrder);
    }
    if (nType >= 32) {
        uint32_t nOrder = nType - 31, nPrec, nShift;
        if (!bs.Skip(uint64_t(nBps) * nOrder) || !bs.Bits(4, nPrec) || nPrec == 15 || !bs.Bits(5, nShift)) return false;
        return bs.Skip(uint64_t(nPrec + 1) * nOrder) && SkipResidual(bs, nBlock, nOrder);
    }
    return false;
}

// The frame at off: its length when it decodes and its CRC-16 holds, else 0.
uint64_t FrameLength(CRawFileReader& rd, uint64_t off, const StreamInfo& si, FrameHeader& fh) {
    if (!ReadFrameHeader(rd, off, si, fh)) return 0;
    BitStream bs(rd, off + fh.nHeaderBytes);
    for (uint32_t ch = 0; ch < fh.nChannels; ++ch) {
        // The side channel of a stereo pair carries one bit more.
        bool bSide = (fh.nAssignment == 8 && ch == 1) || (fh.nAssignment == 9 && ch == 0) ||
                     (fh.nAssignment == 10 && ch == 1);
        if (!SkipSubframe(bs, fh.nBlockSize, fh.nBitsPerSample + (bSide ? 1 : 0))) return 0;
    }
    bs.AlignToByte();
    uint64_t nLen = bs.BytePos() - off + 2;
    if (nLen > kMaxFrameBytes) return 0;
    uint16_t c = 0;
    for (uint64_t p = off, left = nLen - 2; left;) {
        auto b = rd.Stream(p, left);
        if (b.empty()) return 0;
        c = Crc16(c, b.data(), b.size());
        p += b.size();
        left -= b.size();
    }
    uint16_t nStored;
    return rd.ReadU16BE(off + nLen - 2, nStored) && nStored == c ? nLen : 0;
}

}  // namespace

bool FileFLACAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    // The stream-information block comes first and is 34 bytes long.
    if (!KivBytesAt(sector, 0, "fLaC") || (sector[4] & 0x7F) != 0 || !KivBytesAt(sector, 5, "\x00\x00\x22"))
        return false;
    pInfo->m_nTypeId = 80;
    return true;
}

// The metadata blocks give the stream's sample count; the frames are decoded one after the other
// until they hold that many samples (or, when the count is not known, until the next one does not
// decode). A frame that does not decode or check ends the file before it, as one whose end was
// not found.
bool FileFLACAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    StreamInfo si;
    uint64_t pos = 4;
    for (uint32_t nBlock = 0;; ++nBlock) {
        uint8_t h[4];
        if (nBlock >= kMaxMetadataBlocks || !rd.Read(pos, h, 4) || (h[0] & 0x7F) == 127) return false;
        uint32_t nLen = uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | h[3];
        if (nBlock == 0) {
            uint8_t b[34];
            if ((h[0] & 0x7F) != 0 || nLen != 34 || !rd.Read(pos + 4, b, 34)) return false;
            KivByteReader r(b, 34);
            si.nMaxFrame = r.U32BEAt(7) >> 8;
            // From byte 10: sample rate (20 bits), channels (3), bits per sample - 1 (5), samples (36).
            uint64_t x = r.U64BEAt(10);
            si.nBitsPerSample = uint32_t((x >> 36) & 31) + 1;
            si.nTotalSamples = x & 0xFFFFFFFFFull;
        } else if ((h[0] & 0x7F) == 4 && m_strTitle.empty()) {
            std::vector<uint8_t> c(std::min<uint32_t>(nLen, 1u << 16));
            if (rd.Read(pos + 4, c.data(), c.size())) m_strTitle = KivVorbisCommentTitle(c);
        }
        pos += 4 + uint64_t(nLen);
        if (pos > nCap) return false;
        if (h[0] & 0x80) break;
    }

    uint64_t nSamples = 0;
    bool bWhole = false;
    FrameHeader fh;
    for (uint64_t nFrame = 0; pos < nCap; ++nFrame) {
        if (nFrame % 10 == 9) KivPumpMessages();
        uint64_t nLen = FrameLength(rd, pos, si, fh);
        if (!nLen) {
            // Without a sample count the stream ends with its last frame.
            bWhole = si.nTotalSamples == 0 && nFrame > 0;
            break;
        }
        pos += nLen;
        nSamples += fh.nBlockSize;
        if (si.nTotalSamples && nSamples >= si.nTotalSamples) {
            bWhole = nSamples == si.nTotalSamples;
            break;
        }
    }
    pInfo->m_nSize = std::min({pos, nCap, rd.KnownEnd()});
    if (!bWhole) pInfo->m_nDamage = kCarveEndNotFound;
    pInfo->m_strTitle = m_strTitle;
    return true;
}

IRawFileAnalyser* CreateFileFLACAnalyser() { return new FileFLACAnalyser; }
