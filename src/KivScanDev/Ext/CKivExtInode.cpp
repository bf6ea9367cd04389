#include "CKivExtInode.h"

#include <algorithm>
#include <cstring>

#include "CKivExtSuperblock.h"
#include "KivByteReader.h"
#include "KivCrc32c.h"
#include "platform/KivPlatform.h"

using namespace KivExt;

namespace {

constexpr uint32_t kXattrMagic = 0xEA020000u;
constexpr uint8_t kXattrIndexSystem = 7;

// Seconds are signed 32-bit; the extra word's low two bits extend them past 2038 and its upper 30
// bits hold the nanoseconds.
uint64_t ExtTime(uint32_t nSec, bool bExtra, uint32_t nExtra) {
    int64_t s = static_cast<int32_t>(nSec);
    uint32_t ns = 0;
    if (bExtra) {
        s += int64_t(nExtra & 3) << 32;
        ns = nExtra >> 2;
        if (ns > 999999999u) ns = 0;
    }
    if (s == 0 && ns == 0) return 0;
    // Before 1601 there is no file time.
    if (s < -11644473600LL) return 0;
    return KivUnixToFileTime(s, ns);
}

}  // namespace

uint32_t CKivExtInode::ChecksumSeed(uint32_t nVolumeSeed, uint32_t nInode) const {
    uint8_t le[4] = {uint8_t(nInode), uint8_t(nInode >> 8), uint8_t(nInode >> 16), uint8_t(nInode >> 24)};
    uint32_t c = KivCrc32cUpdate(nVolumeSeed, le, 4);
    uint32_t g = m_nGeneration;
    uint8_t lg[4] = {uint8_t(g), uint8_t(g >> 8), uint8_t(g >> 16), uint8_t(g >> 24)};
    return KivCrc32cUpdate(c, lg, 4);
}

bool CKivExtInode::Parse(std::span<const uint8_t> bytes, const CKivExtSuperblock& sb, uint32_t nInode) {
    const size_t n = std::min<size_t>(bytes.size(), sb.m_nInodeSize);
    if (n < 128) return false;
    KivByteReader r(bytes.first(n));
    m_nMode = r.U16At(0x00);
    m_nSize = r.U32At(0x04) | (uint64_t(r.U32At(0x6C)) << 32);
    uint32_t nATime = r.U32At(0x08), nCTime = r.U32At(0x0C), nMTime = r.U32At(0x10);
    m_nDtime = r.U32At(0x14);
    m_nLinks = r.U16At(0x1A);
    m_nBlocks = r.U32At(0x1C) | (uint64_t(r.U16At(0x74)) << 32);
    m_nFlags = r.U32At(0x20);
    m_nFileAcl = r.U32At(0x68) | (uint64_t(r.U16At(0x76)) << 32);
    m_nGeneration = r.U32At(0x64);
    for (size_t i = 0; i < kBlockBytes; ++i) m_block[i] = r.U8At(0x28 + i);
    uint16_t nExtra = n > 128 ? r.U16At(0x80) : 0;
    // The extra fields reach only as far as the inode's own extra size says.
    if (128 + size_t(nExtra) > n || nExtra % 4) nExtra = 0;
    auto Has = [&](size_t off) { return nExtra >= off + 4 - 128; };
    m_nCTimeFt = ExtTime(nCTime, Has(0x84), Has(0x84) ? r.U32At(0x84) : 0);
    m_nMTimeFt = ExtTime(nMTime, Has(0x88), Has(0x88) ? r.U32At(0x88) : 0);
    m_nATimeFt = ExtTime(nATime, Has(0x8C), Has(0x8C) ? r.U32At(0x8C) : 0);
    m_bCrTime = Has(0x90);
    m_nCrTimeFt = m_bCrTime ? ExtTime(r.U32At(0x90), Has(0x94), Has(0x94) ? r.U32At(0x94) : 0) : 0;
    if (!r.Ok()) return false;
    m_bCsumBad = false;
    if (nInode && sb.HasMetadataCsum() && m_nMode != 0) {
        // Over the whole inode with the checksum's own fields as zeros; the high half is there
        // when the extra fields reach it.
        std::vector<uint8_t> copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        bool bHi = 128 + size_t(nExtra) >= 0x84;
        copy[0x7C] = copy[0x7D] = 0;
        if (bHi) copy[0x82] = copy[0x83] = 0;
        uint32_t c = KivCrc32cUpdate(ChecksumSeed(sb.ChecksumSeed(), nInode), copy.data(), copy.size());
        uint32_t nStored = r.U16At(0x7C) | (bHi ? uint32_t(r.U16At(0x82)) << 16 : 0u);
        m_bCsumBad = bHi ? c != nStored : (c & 0xFFFF) != nStored;
    }
    m_systemData.clear();
    if (nExtra && 128 + size_t(nExtra) + 4 <= n) ParseInlineXattr(bytes.first(n), 128 + nExtra);
    if (sb.HasHugeFile() && (m_nFlags & kFlagHugeFile)) m_nBlocks *= sb.BlockSize() / 512;
    return true;
}

void CKivExtInode::ParseInlineXattr(std::span<const uint8_t> bytes, size_t nStart) {
    KivByteReader r(bytes);
    if (r.U32At(nStart) != kXattrMagic) return;
    const size_t nFirst = nStart + 4;  // value offsets count from the first entry
    for (size_t off = nFirst; off + 16 <= bytes.size();) {
        if (r.U32At(off) == 0) break;  // the end of the entries
        uint8_t nNameLen = r.U8At(off);
        uint8_t nIndex = r.U8At(off + 1);
        uint16_t nValueOff = r.U16At(off + 2);
        uint32_t nValueInum = r.U32At(off + 4);
        uint32_t nValueSize = r.U32At(off + 8);
        if (!r.Has(off + 16, nNameLen)) break;
        if (nIndex == kXattrIndexSystem && nNameLen == 4 && r.Equals(off + 16, "data", 4) && nValueInum == 0) {
            if (r.Has(nFirst + nValueOff, nValueSize)) {
                auto v = r.SpanAt(nFirst + nValueOff, nValueSize);
                m_systemData.assign(v.begin(), v.end());
            }
            return;
        }
        off += (16 + size_t(nNameLen) + 3) & ~size_t(3);
    }
}

bool CKivExtInode::IsFastLink(uint32_t nBlockSize) const {
    if (!IsLink() || HasInlineData()) return false;
    if (HasExtents()) return false;
    // No data block: i_blocks counts only the extended-attribute block, when there is one.
    uint64_t nAcl = m_nFileAcl ? nBlockSize / 512 : 0;
    return m_nSize < kBlockBytes && m_nBlocks == nAcl;
}

std::vector<uint8_t> CKivExtInode::InlineData() const {
    std::vector<uint8_t> out(m_block.begin(), m_block.end());
    out.insert(out.end(), m_systemData.begin(), m_systemData.end());
    if (out.size() > m_nSize) out.resize(static_cast<size_t>(m_nSize));
    return out;
}
