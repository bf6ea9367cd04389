#include "CKivAllocMap.h"

#include <algorithm>
#include <cstring>

#include "KivByteReader.h"
#include "KivLog.h"
#include "platform/KivFile.h"

namespace {

// Tables larger than this are not believed (a 64 TiB QCOW2 of 64 KiB clusters has a 8 MiB L1).
constexpr uint64_t kMaxTableBytes = 256ull << 20;
constexpr uint64_t kMaxBlocks = 1ull << 31;

// Reads n bytes that must lie inside the file of nFileBytes: what a header claims is checked
// against the file before anything is allocated for it.
bool ReadAt(CKivFile& f, uint64_t nFileBytes, uint64_t nOffset, std::vector<uint8_t>& buf, size_t n) {
    buf.clear();
    if (nOffset > nFileBytes || n > nFileBytes - nOffset) return false;
    buf.assign(n, 0);
    return n == 0 || f.ReadAt(nOffset, buf.data(), n) == static_cast<int64_t>(n);
}

}  // namespace

std::unique_ptr<CKivAllocMap> CKivAllocMap::Read(const std::vector<std::string>& chain, Kind kind, uint64_t nDiskBytes) {
    if (chain.empty() || nDiskBytes == 0) return nullptr;
    std::unique_ptr<CKivAllocMap> p(new CKivAllocMap());
    p->m_nDisk = nDiskBytes;
    for (const std::string& f : chain)
        if (!p->AddFile(f, kind)) return nullptr;
    return p;
}

bool CKivAllocMap::UseBlock(uint64_t nBlock) {
    if (nBlock < 512 || (nBlock & (nBlock - 1)) != 0) return false;
    if (m_nBlock == 0) {
        uint64_t n = (m_nDisk + nBlock - 1) / nBlock;
        if (n > kMaxBlocks) return false;
        m_nBlock = nBlock;
        m_stored.assign(n, false);
    }
    return m_nBlock == nBlock;
}

void CKivAllocMap::Mark(uint64_t nIndex) {
    if (nIndex < m_stored.size()) m_stored[nIndex] = true;
}

uint64_t CKivAllocMap::StoredBlocks() const { return static_cast<uint64_t>(std::count(m_stored.begin(), m_stored.end(), true)); }

bool CKivAllocMap::AddFile(const std::string& strPath, Kind kind) {
    CKivFile f;
    uint64_t nBytes = 0;
    if (!f.Open(strPath, CKivFile::Mode::kRead) || !f.Size(&nBytes)) return false;
    switch (kind) {
        case kQcow: return AddQcow(f, nBytes);
        case kVhd: return AddVhd(f, nBytes);
        case kVhdx: return AddVhdx(f, nBytes);
        case kVmdk: return AddVmdk(f, nBytes);
    }
    return false;
}

bool CKivAllocMap::AddQcow(CKivFile& f, uint64_t nFileBytes) {
    std::vector<uint8_t> hdr;
    if (!ReadAt(f, nFileBytes, 0, hdr, 104)) return false;
    KivByteReader h(hdr.data(), hdr.size());
    if (std::memcmp(hdr.data(), "QFI\xfb", 4) != 0) return false;
    uint32_t nVersion = h.U32BEAt(4), nClusterBits = h.U32BEAt(20), nL1 = h.U32BEAt(36);
    uint64_t nL1Offset = h.U64BEAt(40);
    if ((nVersion != 2 && nVersion != 3) || nClusterBits < 9 || nClusterBits > 21) return false;
    // Version 3 features that change what a table entry means (external data file, extended L2
    // entries) are not read here.
    if (nVersion == 3 && (h.U64BEAt(72) & ~uint64_t(0x3)) != 0) return false;
    uint64_t nCluster = 1ull << nClusterBits;
    if (!UseBlock(nCluster)) return false;
    uint64_t nPerL2 = nCluster / 8;
    if (uint64_t(nL1) * 8 > kMaxTableBytes || nL1Offset > nFileBytes || uint64_t(nL1) * 8 > nFileBytes - nL1Offset)
        return false;
    std::vector<uint8_t> l1, l2;
    if (!ReadAt(f, nFileBytes, nL1Offset, l1, size_t(nL1) * 8)) return false;
    // L2 tables never share space, so all of them together fit in the file: an L1 table whose
    // entries name one table again and again is no map.
    uint64_t nL2Read = 0;
    constexpr uint64_t kOffsetMask = 0x00fffffffffffe00ull;
    constexpr uint64_t kCompressed = 1ull << 62;
    KivByteReader r1(l1.data(), l1.size());
    for (uint32_t i = 0; i < nL1; ++i) {
        uint64_t nL2Offset = r1.U64BEAt(size_t(i) * 8) & kOffsetMask;
        if (nL2Offset == 0) continue;
        if (nL2Offset >= nFileBytes || (nL2Read += nCluster) > nFileBytes || !ReadAt(f, nFileBytes, nL2Offset, l2, size_t(nCluster)))
            return false;
        KivByteReader r2(l2.data(), l2.size());
        for (uint64_t j = 0; j < nPerL2; ++j) {
            uint64_t e = r2.U64BEAt(size_t(j) * 8);
            // A compressed cluster holds data; a plain one holds data at its offset unless it is
            // marked as reading zeros (bit 0 of version 3).
            bool bData = (e & kCompressed) ? true : (e & kOffsetMask) != 0 && !(e & 1);
            if (bData) Mark(uint64_t(i) * nPerL2 + j);
        }
    }
    return true;
}

bool CKivAllocMap::AddVhd(CKivFile& f, uint64_t nFileBytes) {
    std::vector<uint8_t> foot, dyn, bat;
    if (nFileBytes < 512 || !ReadAt(f, nFileBytes, nFileBytes - 512, foot, 512)) return false;
    if (std::memcmp(foot.data(), "conectix", 8) != 0) return false;
    KivByteReader ft(foot.data(), foot.size());
    uint32_t nType = ft.U32BEAt(60);
    if (nType != 3 && nType != 4) return false;  // a fixed disk stores every block
    uint64_t nDyn = ft.U64BEAt(16);
    if (nDyn >= nFileBytes || !ReadAt(f, nFileBytes, nDyn, dyn, 1024) || std::memcmp(dyn.data(), "cxsparse", 8) != 0) return false;
    KivByteReader d(dyn.data(), dyn.size());
    uint64_t nTable = d.U64BEAt(16);
    uint32_t nEntries = d.U32BEAt(28), nBlock = d.U32BEAt(32);
    if (!UseBlock(nBlock) || uint64_t(nEntries) * 4 > kMaxTableBytes) return false;
    if (!ReadAt(f, nFileBytes, nTable, bat, size_t(nEntries) * 4)) return false;
    KivByteReader b(bat.data(), bat.size());
    for (uint32_t i = 0; i < nEntries; ++i)
        if (b.U32BEAt(size_t(i) * 4) != 0xffffffffu) Mark(i);
    return true;
}

bool CKivAllocMap::AddVhdx(CKivFile& f, uint64_t nFileBytes) {
    // The region table (at 192 KiB, its copy at 256 KiB) locates the block table and the metadata.
    using G = VhdxGuids;
    std::vector<uint8_t> reg, meta, bat;
    // A log not yet replayed holds writes the block table may not show: its map could call stored
    // data a hole. Either header naming a log is enough to keep no map.
    for (uint64_t nHeader : {64 * 1024, 128 * 1024}) {
        std::vector<uint8_t> head;
        if (!ReadAt(f, nFileBytes, nHeader, head, 4096) || std::memcmp(head.data(), "head", 4) != 0) continue;
        if (std::any_of(head.begin() + 48, head.begin() + 64, [](uint8_t b) { return b != 0; })) {
            KivLogA(0, "VHDX: the log has not been replayed; data is read everywhere");
            return false;
        }
    }
    if (!ReadAt(f, nFileBytes, 192 * 1024, reg, 64 * 1024) || std::memcmp(reg.data(), "regi", 4) != 0) return false;
    KivByteReader rg(reg.data(), reg.size());
    uint32_t nRegions = rg.U32At(8);
    uint64_t nBatOff = 0, nBatLen = 0, nMetaOff = 0, nMetaLen = 0;
    for (uint32_t i = 0; i < nRegions && i < 2047; ++i) {
        size_t e = 16 + size_t(i) * 32;
        if (!rg.Has(e, 32)) return false;
        if (std::memcmp(&reg[e], G::kBat, 16) == 0) nBatOff = rg.U64At(e + 16), nBatLen = rg.U32At(e + 24);
        if (std::memcmp(&reg[e], G::kMeta, 16) == 0) nMetaOff = rg.U64At(e + 16), nMetaLen = rg.U32At(e + 24);
    }
    if (!nBatOff || !nMetaOff || nBatLen > kMaxTableBytes || nMetaLen > (1u << 20) || nMetaLen < 64 * 1024) return false;
    if (!ReadAt(f, nFileBytes, nMetaOff, meta, nMetaLen) || std::memcmp(meta.data(), "metadata", 8) != 0) return false;
    KivByteReader m(meta.data(), meta.size());
    uint32_t nBlock = 0, nLogical = 0;
    uint16_t nItems = m.U16At(10);
    for (uint32_t i = 0; i < nItems && i < 2047; ++i) {
        size_t e = 32 + size_t(i) * 32;
        if (!m.Has(e, 32)) return false;
        uint32_t nAt = m.U32At(e + 16);
        if (std::memcmp(&meta[e], G::kFileParams, 16) == 0) {
            nBlock = m.U32At(nAt);
            if (m.U32At(nAt + 4) & 2) return false;  // has a parent: left to a later version
        }
        if (std::memcmp(&meta[e], G::kSectorSize, 16) == 0) nLogical = m.U32At(nAt);
    }
    if (!m.Ok() || nLogical == 0 || !UseBlock(nBlock)) return false;
    // Every chunk ratio payload entries are followed by one entry of the sector bitmap.
    uint64_t nRatio = ((1ull << 23) * nLogical) / nBlock;
    if (nRatio == 0 || !ReadAt(f, nFileBytes, nBatOff, bat, size_t(nBatLen))) return false;
    KivByteReader b(bat.data(), bat.size());
    uint64_t nBlocks = m_stored.size();
    for (uint64_t i = 0, k = 0; i < nBlocks; ++k) {
        if (!b.Has(size_t(k) * 8, 8)) return false;
        if ((k + 1) % (nRatio + 1) == 0) continue;  // a bitmap entry
        uint64_t nState = b.U64At(size_t(k) * 8) & 7;
        if (nState == 6 || nState == 7) Mark(i);  // fully or partly present
        ++i;
    }
    return true;
}

bool CKivAllocMap::AddVmdk(CKivFile& f, uint64_t nFileBytes) {
    std::vector<uint8_t> hdr, gd, gt;
    if (!ReadAt(f, nFileBytes, 0, hdr, 512) || std::memcmp(hdr.data(), "KDMV", 4) != 0) return false;
    KivByteReader h(hdr.data(), hdr.size());
    uint64_t nCapacity = h.U64At(12), nGrain = h.U64At(20), nGdOffset = h.U64At(56);
    uint32_t nPerGt = h.U32At(44);
    // One extent covering the whole disk (monolithic sparse); the grain directory placed at the
    // end (stream-optimized) is not read here.
    // Checked without products that could wrap: a hostile header must not map the wrong grains
    // (stored data taken for a hole would be read as zeros).
    if (m_nDisk % 512 || nCapacity != m_nDisk / 512 || nGrain < 8 || nGrain > (1u << 16) || nPerGt != 512 ||
        nGdOffset >= nFileBytes / 512)
        return false;
    if (!UseBlock(nGrain * 512)) return false;
    uint64_t nGrains = (nCapacity + nGrain - 1) / nGrain;
    uint64_t nGds = (nGrains + nPerGt - 1) / nPerGt;
    if (nGds * 4 > kMaxTableBytes || !ReadAt(f, nFileBytes, nGdOffset * 512, gd, size_t(nGds * 4))) return false;
    KivByteReader d(gd.data(), gd.size());
    uint64_t nGtRead = 0;
    for (uint64_t i = 0; i < nGds; ++i) {
        uint64_t nGt = d.U32At(size_t(i) * 4);
        if (nGt == 0) continue;
        // Grain tables never share space: all of them together fit in the file (a directory
        // that names one table again and again is no map, and would cost a read per entry).
        if (nGt * 512 >= nFileBytes || (nGtRead += uint64_t(nPerGt) * 4) > nFileBytes ||
            !ReadAt(f, nFileBytes, nGt * 512, gt, size_t(nPerGt) * 4))
            return false;
        KivByteReader t(gt.data(), gt.size());
        for (uint32_t j = 0; j < nPerGt; ++j)
            if (t.U32At(size_t(j) * 4) > 1) Mark(i * nPerGt + j);  // 0 unallocated, 1 a zero grain
    }
    return true;
}

bool CKivAllocMap::FindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) const {
    if (m_nBlock == 0) return false;
    uint64_t i = nOffset / m_nBlock, n = m_stored.size();
    while (i < n && !m_stored[i]) ++i;
    if (i >= n) {
        *pData = *pEnd = m_nDisk;
        return true;
    }
    uint64_t j = i;
    while (j < n && m_stored[j]) ++j;
    *pData = std::max(nOffset, i * m_nBlock);
    *pEnd = std::min(m_nDisk, j * m_nBlock);
    return true;
}
