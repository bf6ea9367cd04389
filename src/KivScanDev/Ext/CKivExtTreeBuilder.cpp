#include "CKivExtTreeBuilder.h"

#include <algorithm>
#include <cstdio>

#include "CKivExtJournal.h"
#include "CKivExtScanner.h"
#include "CKivScanResPartExt.h"
#include "KivCrc32c.h"
#include "KivByteReader.h"
#include "KivLog.h"
#include "Model/CClusterUseBitMap.h"
#include "Model/CKivFileAttrExt.h"
#include "Model/KivEngineFilter.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivPartName.h"
#include "Model/KivTreeTidy.h"
#include "Raw/KivRawTree.h"

using namespace KivExt;

namespace {

enum : uint16_t { kBgInodeUninit = 0x1, kBgBlockUninit = 0x2 };

// Names are bytes; what is not UTF-8 is shown as U+FFFD.
std::string Utf8Name(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<uint8_t>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool bOk = n && i + n <= s.size() && !(n == 2 && c < 0xC2);
        for (size_t k = 1; bOk && k < n; ++k) bOk = (static_cast<uint8_t>(s[i + k]) & 0xC0) == 0x80;
        if (bOk && n == 3) {
            auto c1 = static_cast<uint8_t>(s[i + 1]);
            bOk = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
        }
        if (bOk && n == 4) {
            auto c1 = static_cast<uint8_t>(s[i + 1]);
            bOk = c <= 0xF4 && !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
        }
        if (bOk) {
            out.append(s, i, n);
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// "#<inode>", built in place: MinGW's g++ 12 misreads the inlined "#" + std::to_string(n) as an
// overlapping copy under -Werror.
std::string LostName(uint32_t n) {
    char buf[16];
    int len = std::snprintf(buf, sizeof buf, "#%u", static_cast<unsigned>(n));
    return std::string(buf, len > 0 ? static_cast<size_t>(len) : 0);
}

}  // namespace

CKivExtTreeBuilder::CKivExtTreeBuilder(CKivScanResPartExt* pPart, IKivDevStor* pDev, CRawFileList* pRawList,
                                       IKivEnumResFilesCallback* pCallback, uint32_t nNameBase)
    : CKivTreeBuilderBase("CKivExtTreeBuilder", pDev, pRawList, pCallback, nNameBase), m_pPart(pPart) {}

CKivExtTreeBuilder::~CKivExtTreeBuilder() { KivSafeRelease(m_pRoot); }

bool CKivExtTreeBuilder::ReadBlock(uint64_t nBlock, std::vector<uint8_t>* pOut) {
    pOut->assign(m_nBlockSize, 0);
    if (nBlock >= m_nBlocksOnDevice) return false;
    return m_pDev->ReadSectors(pOut->data(), m_nFirst + nBlock * m_nSpc, m_nSpc) != 0;
}

bool CKivExtTreeBuilder::LoadGroups() {
    const uint32_t nGroups = m_sb.GroupCount();
    const uint32_t nDesc = m_sb.DescSize();
    const uint32_t nPerBlock = m_nBlockSize / nDesc;
    m_groups.assign(nGroups, Group{});
    std::vector<uint8_t> b;
    bool bAny = false;
    for (uint64_t i = 0; i * nPerBlock < nGroups; ++i) {
        if ((i & 63) == 0 && Cancelled()) return false;
        if (!ReadBlock(m_sb.DescriptorBlock(i), &b)) continue;
        bAny = true;
        KivByteReader r(b.data(), b.size());
        for (uint32_t k = 0; k < nPerBlock && i * nPerBlock + k < nGroups; ++k) {
            size_t off = size_t(k) * nDesc;
            Group& g = m_groups[i * nPerBlock + k];
            g.nBlockBitmap = r.U32At(off);
            g.nInodeBitmap = r.U32At(off + 4);
            g.nInodeTable = r.U32At(off + 8);
            g.nFlags = r.U16At(off + 0x12);
            g.nUnused = r.U16At(off + 0x1C);
            if (nDesc >= 64) {
                g.nBlockBitmap |= uint64_t(r.U32At(off + 0x20)) << 32;
                g.nInodeBitmap |= uint64_t(r.U32At(off + 0x24)) << 32;
                g.nInodeTable |= uint64_t(r.U32At(off + 0x28)) << 32;
                g.nUnused |= uint32_t(r.U16At(off + 0x32)) << 16;
            }
        }
    }
    return bAny;
}

void CKivExtTreeBuilder::LoadBlockBitmaps() {
    const uint64_t nBlocks = m_sb.m_nBlocksCount;
    m_used.assign(static_cast<size_t>((nBlocks + 63) / 64), 0);
    MarkUsed(0, m_sb.m_nFirstDataBlock);
    std::vector<uint8_t> b;
    const uint64_t nPerGroup = m_sb.m_nBlocksPerGroup;
    const uint64_t nTableBlocks = (uint64_t(m_sb.m_nInodesPerGroup) * m_sb.m_nInodeSize + m_nBlockSize - 1) / m_nBlockSize;
    for (size_t g = 0; g < m_groups.size(); ++g) {
        if ((g & 63) == 0 && Cancelled()) return;
        const Group& d = m_groups[g];
        uint64_t nStart = m_sb.GroupFirstBlock(g);
        if (d.nFlags & kBgBlockUninit) {
            // Nothing of the group is allocated but its metadata (wherever flex_bg put it).
            if (m_sb.GroupHasSuper(g)) MarkUsed(nStart, 1);
            MarkUsed(d.nBlockBitmap, 1);
            MarkUsed(d.nInodeBitmap, 1);
            MarkUsed(d.nInodeTable, nTableBlocks);
            continue;
        }
        if (!ReadBlock(d.nBlockBitmap, &b)) {
            MarkUsed(nStart, nPerGroup);  // unknown: taken as used, so nothing is carved over it
            continue;
        }
        for (uint64_t i = 0; i < nPerGroup && nStart + i < nBlocks; ++i)
            if (b[i / 8] & (1u << (i % 8))) m_used[(nStart + i) / 64] |= uint64_t(1) << ((nStart + i) % 64);
    }
    m_bUsedLoaded = true;
}

void CKivExtTreeBuilder::MarkUsed(uint64_t nBlock, uint64_t nCount) {
    const uint64_t nBlocks = m_sb.m_nBlocksCount;
    for (uint64_t i = 0; i < nCount && nBlock + i < nBlocks; ++i) m_used[(nBlock + i) / 64] |= uint64_t(1) << ((nBlock + i) % 64);
}

bool CKivExtTreeBuilder::BlockInUse(uint64_t nBlock) const {
    if (!m_bUsedLoaded || nBlock >= m_sb.m_nBlocksCount) return true;
    return (m_used[nBlock / 64] >> (nBlock % 64)) & 1;
}

bool CKivExtTreeBuilder::InodePlace(uint32_t nInode, uint64_t* pBlock, size_t* pOffset) const {
    if (nInode == 0 || nInode > m_sb.m_nInodesCount) return false;
    uint32_t g = (nInode - 1) / m_sb.m_nInodesPerGroup;
    uint32_t i = (nInode - 1) % m_sb.m_nInodesPerGroup;
    if (g >= m_groups.size()) return false;
    const Group& d = m_groups[g];
    uint64_t nByte = uint64_t(i) * m_sb.m_nInodeSize;
    *pBlock = d.nInodeTable + nByte / m_nBlockSize;
    *pOffset = static_cast<size_t>(nByte % m_nBlockSize);
    return d.nInodeTable != 0 && *pBlock < m_sb.m_nBlocksCount;
}

bool CKivExtTreeBuilder::ReadInode(uint32_t nInode, CKivExtInode* pOut) {
    if (nInode == 0 || nInode > m_sb.m_nInodesCount) return false;
    uint32_t g = (nInode - 1) / m_sb.m_nInodesPerGroup;
    if (g >= m_groups.size()) return false;
    if (m_groups[g].nFlags & kBgInodeUninit) {
        // A group whose inodes were never used: its table may not even be written.
        std::vector<uint8_t> zeros(m_sb.m_nInodeSize, 0);
        return pOut->Parse(zeros, m_sb);
    }
    uint64_t nBlock = 0;
    size_t nOff = 0;
    if (!InodePlace(nInode, &nBlock, &nOff)) return false;
    auto it = m_inodeBlocks.find(nBlock);
    if (it == m_inodeBlocks.end()) {
        if (m_inodeBlocks.size() >= kInodeCacheBlocks) m_inodeBlocks.clear();
        std::vector<uint8_t> b;
        if (!ReadBlock(nBlock, &b)) return false;
        it = m_inodeBlocks.emplace(nBlock, std::move(b)).first;
    }
    return pOut->Parse(std::span<const uint8_t>(it->second).subspan(nOff, m_sb.m_nInodeSize), m_sb, nInode);
}

std::vector<CKivExtTreeBuilder::DirBlock> CKivExtTreeBuilder::DirBlocks(const CKivExtInode& ino, uint32_t nInode,
                                                                        bool bSkipUsed) {
    std::vector<DirBlock> out;
    if (ino.HasInlineData()) {
        // The parent's inode number, then entries in the rest of i_block and in "system.data".
        out.push_back({std::vector<uint8_t>(ino.m_block.begin() + 4, ino.m_block.end()), 0, false});
        if (!ino.m_systemData.empty()) out.push_back({ino.m_systemData, 0, false});
        return out;
    }
    uint64_t nBytes = std::min<uint64_t>(ino.m_nSize, kMaxDirBytes);
    uint64_t nLogical = (nBytes + m_nBlockSize - 1) / m_nBlockSize;
    std::vector<std::pair<uint64_t, uint64_t>> places;  // (logical, physical)
    for (const KivExtExtent& e : m_pMap->Map(ino, nLogical, nullptr)) {
        if (e.bUninit) continue;
        for (uint64_t k = 0; k < e.nLength; ++k) {
            places.emplace_back(e.nLogical + k, e.nPhysical + k);
            if (bSkipUsed && BlockInUse(e.nPhysical + k)) continue;
            std::vector<uint8_t> b;
            if (ReadBlock(e.nPhysical + k, &b)) out.push_back({std::move(b), e.nLogical + k, false});
            if ((out.size() & 1023) == 0 && Cancelled()) return out;
        }
    }
    if (!m_pJournal) return out;
    for (const auto& [nLog, nPhys] : places) {
        if (Cancelled()) return out;
        for (std::vector<uint8_t>& c : m_pJournal->Copies(nPhys))
            if (CopyIsDirs(c, ino, nInode, nLog)) out.push_back({std::move(c), nLog, true});
    }
    return out;
}

bool CKivExtTreeBuilder::CopyIsDirs(const std::vector<uint8_t>& b, const CKivExtInode& ino, uint32_t nInode,
                                    uint64_t nLogical) const {
    KivByteReader r(b.data(), b.size());
    if (m_sb.HasMetadataCsum()) {
        // A leaf's checksum is seeded with its directory's inode and generation.
        if (b.size() < 12) return false;
        size_t t = b.size() - 12;
        return r.U32At(t) == 0 && r.U16At(t + 4) == 12 && r.U8At(t + 7) == 0xDE &&
               KivCrc32cUpdate(ino.ChecksumSeed(m_sb.ChecksumSeed(), nInode), b.data(), t) == r.U32At(t + 8);
    }
    // Without checksums only the first block tells whose it is.
    if (nLogical == 0) return r.U32At(0) == nInode && r.U8At(6) == 1 && r.U8At(8) == '.';
    return true;
}

IKivFsNode* CKivExtTreeBuilder::Build() {
    if (!m_pPart || !m_pDev) return nullptr;
    Phase("Reading the ext file system");
    m_nSectorSize = m_pDev->GetSectorSize();
    if (m_nSectorSize == 0 || !CKivExtScanner::ReadSuperblock(m_pDev, *m_pPart, &m_sb)) return nullptr;
    m_nBlockSize = m_sb.BlockSize();
    if (m_nBlockSize % m_nSectorSize) return nullptr;
    m_nSpc = m_nBlockSize / m_nSectorSize;
    m_nFirst = m_pPart->m_nFirstSector;
    uint64_t nDev = m_pDev->GetSectorCount();
    m_nBlocksOnDevice = nDev > m_nFirst ? std::min<uint64_t>(m_sb.m_nBlocksCount, (nDev - m_nFirst) / m_nSpc) : 0;
    m_strLabel = Utf8Name(m_sb.Label());
    m_pMap = std::make_unique<CKivExtDataMap>(m_nBlockSize, m_sb.m_nBlocksCount,
                                              [this](uint64_t n, std::vector<uint8_t>* p) { return ReadBlock(n, p); });
    m_pEntries = std::make_unique<CKivExtDirEntries>(m_sb.m_nInodesCount);
    m_reached.assign((uint64_t(m_sb.m_nInodesCount) + 64) / 64, 0);

    if (!LoadGroups()) {
        KivLogA(0, "ext: no group descriptor of the volume at sector %llu can be read",
                static_cast<unsigned long long>(m_nFirst));
        if (m_pCallback) m_pCallback->OnPhaseEnd();
        return nullptr;
    }
    LoadBlockBitmaps();
    LoadJournal();
    Progress(50);
    if (m_pCallback) m_pCallback->OnPhaseEnd();

    auto* pAttr = static_cast<CKivFileAttrExt*>(KivNewAttr(KIV_ATTR_EXT));
    std::string strName =
        KivFormatPartName(KivFsTypeText(m_pPart->m_nType), m_nNameBase + 1, 0, m_strLabel.c_str());
    pAttr->SetName(strName.c_str());
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    m_pRoot = KivNewFsNode(pAttr);
    m_pRoot->SetPartInfo(m_nFirst, m_nSpc);
    m_pRoot->SetFsType(m_pPart->m_nType);
    if (!m_strLabel.empty()) m_pRoot->SetLabel(m_strLabel.c_str());

    CKivExtInode root;
    if (ReadInode(kRootInode, &root) && root.IsDir()) {
        pAttr->SetInode(kRootInode, root.m_nMode);
        m_dirs.insert(kRootInode);
        m_live.push_back({m_pRoot, kRootInode, root, false});
        WalkQueue();
        PlaceFromJournal();
        LostInodes();
        UnnamedFromJournal();
    } else {
        KivLogA(0, "ext: the root directory of the volume at sector %llu cannot be read",
                static_cast<unsigned long long>(m_nFirst));
    }
    if (!Cancelled()) AddRawTree();
    if (Cancelled()) return nullptr;  // the destructor releases the partial tree
    KivRemoveEmptyDeletedDirs(m_pRoot);
    m_pRoot->RecountStats();
    if (m_nDamagedInodes)
        KivLogA(0, "ext: %llu inodes with a broken block map", static_cast<unsigned long long>(m_nDamagedInodes));
    if (m_nPendingTotal)
        KivLogA(0, "ext: %llu of %llu deleted files and folders placed through the journal",
                static_cast<unsigned long long>(m_nFromJournal), static_cast<unsigned long long>(m_nPendingTotal));
    if (m_nBadSums)
        KivLogA(0, "ext: %llu inodes and folder blocks fail their checksums", static_cast<unsigned long long>(m_nBadSums));
    IKivFsNode* p = m_pRoot;
    m_pRoot = nullptr;
    return p;
}

void CKivExtTreeBuilder::WalkQueue() { WalkLiveFirst(m_live, m_deleted, [this](const DirWork& w) { WalkDir(w); }); }

void CKivExtTreeBuilder::WalkDir(const DirWork& w) {
    std::vector<DirBlock> blocks = DirBlocks(w.ino, w.nInode, w.bDeleted);
    const bool bIndexed = (w.ino.m_nFlags & kFlagIndex) && !w.ino.HasInlineData();
    const bool bSums = m_sb.HasMetadataCsum() && !w.ino.HasInlineData();
    const uint32_t nSeed = bSums ? w.ino.ChecksumSeed(m_sb.ChecksumSeed(), w.nInode) : 0;
    std::vector<KivExtDirEntry> entries;
    for (const DirBlock& d : blocks) {
        // The first block of a hashed directory holds the index behind "..": no deleted entries.
        bool bDeletedToo = !(bIndexed && d.nLogical == 0);
        size_t nBefore = entries.size();
        m_pEntries->ParseBlock(d.bytes, bDeletedToo, &entries);
        if (d.bCopy) {
            // What an older copy names is gone from the folder now, or still in it and named above.
            for (size_t k = nBefore; k < entries.size(); ++k) entries[k].bDeleted = true;
            continue;
        }
        // A leaf block ends with a 12-byte entry holding the checksum of what comes before it.
        const std::vector<uint8_t>& b = d.bytes;
        KivByteReader r(b.data(), b.size());
        size_t t = b.size() - 12;
        if (bSums && b.size() >= 12 && r.U32At(t) == 0 && r.U16At(t + 4) == 12 && r.U8At(t + 6) == 0 &&
            r.U8At(t + 7) == 0xDE && KivCrc32cUpdate(nSeed, b.data(), t) != r.U32At(t + 8)) {
            ++m_nBadSums;
            for (size_t k = nBefore; k < entries.size(); ++k) entries[k].bBadSum = true;
        }
    }
    size_t nSteps = 0;
    for (const KivExtDirEntry& e : entries) {
        if ((++nSteps & 1023) == 0 && Cancelled()) return;
        AddEntry(w.pNode, e, w.bDeleted);
    }
}

void CKivExtTreeBuilder::AddEntry(IKivFileNode* pDir, const KivExtDirEntry& e, bool bDirDeleted) {
    CKivExtInode ino;
    bool bRead = ReadInode(e.nInode, &ino);
    bool bDeleted = e.bDeleted || bDirDeleted;
    if (e.bDeleted || bDirDeleted) {
        // A hidden entry whose inode is in use is a name given up by a rename, or an inode that
        // went to another file: either way the file it named is not here.
        if (!bRead || ino.InUse() || ino.m_nMode == 0) return;
        // Named once, where it was first seen (the folder as it is now before older copies).
        if (m_deletedNamed.count(e.nInode)) return;
    }
    std::string strName = Utf8Name(e.name);
    bool bDir = bRead ? ino.IsDir() : e.nFileType == CKivExtDirEntries::kTypeDir;
    if (bRead && !bDir && !ino.IsFile() && !ino.IsLink()) return;  // devices, pipes and sockets hold no data
    if (bDir && m_dirs.count(e.nInode)) return;  // a loop, or a folder already shown where it lives
    if (!bDir && !KivEngineFilter().IsFileNameKept(strName.c_str(), false)) return;
    if (!NodeBudget()) return;
    if (bDeleted) m_deletedNamed.insert(e.nInode);

    auto* pAttr = static_cast<CKivFileAttrExt*>(KivNewAttr(KIV_ATTR_EXT));
    pAttr->SetName(strName.c_str());
    pAttr->SetAttributes(bDir ? KIV_FA_DIRECTORY : 0);
    pAttr->SetRecordState(bDeleted ? KIV_REC_DELETED : 0);
    pAttr->SetInode(e.nInode, ino.m_nMode);
    if (bRead) {
        pAttr->SetTimes(ino.CreationTime(), ino.ModificationTime(), ino.AccessTime());
        pAttr->SetHasCreationTime(ino.HasCreationTime());
    }
    IKivFileNode* pNode = KivNewFileNode(pAttr);
    if (!bRead) {
        pAttr->SetDamage(CKivFileAttrExt::kUnreadable);
    } else if (bDir) {
        if (!bDeleted) MarkReached(e.nInode);
        m_dirs.insert(e.nInode);
        // A folder ext4 deleted has no map left: an older copy of its inode may have one.
        if (bDeleted && !ino.HasInlineData() && m_pMap->Map(ino, 1, nullptr).empty())
            m_pending.push_back({pAttr, pNode, e.nInode, ino.m_nGeneration, ino.Type()});
        else
            (bDeleted ? m_deleted : m_live).push_back({pNode, e.nInode, ino, bDeleted});
    } else {
        if (!bDeleted) MarkReached(e.nInode);
        pAttr->SetSize(ino.m_nSize);
        SetData(pAttr, ino, e.nInode, bDeleted);
    }
    // A checksum that fails marks what it covers; the walk goes on.
    if (bRead && ino.ChecksumBad()) {
        ++m_nBadSums;
        pAttr->AddDamage(CKivFileAttrExt::kBadInodeSum);
    }
    if (e.bBadSum) pAttr->AddDamage(CKivFileAttrExt::kBadDirSum);
    pDir->AddChild(pNode);
}

void CKivExtTreeBuilder::SetData(CKivFileAttrExt* pAttr, const CKivExtInode& ino, uint32_t nInode, bool bDeleted) {
    if (bDeleted) {
        // ext4 clears a deleted inode's map and size; an older copy in the journal may have them.
        if (!SetDeletedData(pAttr, ino)) {
            pAttr->SetDamage(CKivFileAttrExt::kNoMap);
            m_pending.push_back({pAttr, nullptr, nInode, ino.m_nGeneration, ino.Type()});
        }
        return;
    }
    if (ino.HasInlineData()) {
        pAttr->SetHeldData(ino.InlineData());
        return;
    }
    if (ino.IsFastLink(m_nBlockSize)) {
        pAttr->SetHeldData(std::vector<uint8_t>(ino.m_block.begin(), ino.m_block.begin() + ino.m_nSize));
        return;
    }
    uint64_t nLogical = (ino.m_nSize + m_nBlockSize - 1) / m_nBlockSize;
    std::vector<KivExtExtent> extents = m_pMap->Map(ino, nLogical, nullptr);
    if (m_pMap->Damaged()) {
        ++m_nDamagedInodes;
        pAttr->SetDamage(CKivFileAttrExt::kBadMap);
    }
    CKivCompactRunList list;
    for (const KivDataRun& r : CKivExtDataMap::ToRuns(extents, nLogical)) list.Append(r.nStart, r.nLength);
    pAttr->SetRuns(std::move(list));
}

bool CKivExtTreeBuilder::SetDeletedData(CKivFileAttrExt* pAttr, const CKivExtInode& ino) {
    // The size is cleared with the map: an empty deleted file may have had data.
    if (ino.m_nSize == 0) return false;
    if (ino.HasInlineData()) {
        std::vector<uint8_t> d = ino.InlineData();
        if (d.size() < ino.m_nSize) return false;
        pAttr->SetSize(ino.m_nSize);
        pAttr->SetHeldData(std::move(d));
        return true;
    }
    if (ino.IsFastLink(m_nBlockSize)) {
        pAttr->SetSize(ino.m_nSize);
        pAttr->SetHeldData(std::vector<uint8_t>(ino.m_block.begin(), ino.m_block.begin() + ino.m_nSize));
        return true;
    }
    uint64_t nLogical = (ino.m_nSize + m_nBlockSize - 1) / m_nBlockSize;
    std::vector<KivExtExtent> extents = m_pMap->Map(ino, nLogical, nullptr);
    bool bBad = m_pMap->Damaged(), bAny = false, bReused = false;
    for (const KivExtExtent& x : extents) {
        if (x.bUninit) continue;
        bAny = true;
        // A block a live file holds now has that file's data.
        for (uint64_t k = 0; k < x.nLength && !bReused; ++k) bReused = BlockInUse(x.nPhysical + k);
    }
    if (!bAny) return false;
    pAttr->SetSize(ino.m_nSize);
    pAttr->SetDamage(bReused ? CKivFileAttrExt::kReused : bBad ? CKivFileAttrExt::kBadMap : CKivFileAttrExt::kIntact);
    CKivCompactRunList list;
    for (const KivDataRun& r : CKivExtDataMap::ToRuns(extents, nLogical)) list.Append(r.nStart, r.nLength);
    pAttr->SetRuns(std::move(list));
    return true;
}

void CKivExtTreeBuilder::LoadJournal() {
    if (m_sb.m_nJournalInode == 0 || Cancelled()) return;
    CKivExtInode j;
    if (!ReadInode(m_sb.m_nJournalInode, &j) || !j.IsFile() || j.HasInlineData()) return;
    uint64_t nLogical = (j.m_nSize + m_nBlockSize - 1) / m_nBlockSize;
    std::vector<KivExtExtent> extents = m_pMap->Map(j, nLogical, nullptr);
    // Every copy is indexed: inode-table blocks give deleted files their maps, folder blocks their
    // names, and the index costs a few bytes a journal block.
    auto p = std::make_unique<CKivExtJournal>();
    if (p->Load(extents, m_nBlockSize, [this](uint64_t n, std::vector<uint8_t>* b) { return ReadBlock(n, b); },
                [](uint64_t) { return true; }))
        m_pJournal = std::move(p);
}

bool CKivExtTreeBuilder::JournalCopy(uint32_t nInode, size_t nOffset, const std::vector<std::vector<uint8_t>>& copies,
                                     const CKivExtInode& now, CKivExtInode* pOut) const {
    for (const std::vector<uint8_t>& copy : copies) {
        CKivExtInode c;
        if (!c.Parse(std::span<const uint8_t>(copy).subspan(nOffset, m_sb.m_nInodeSize), m_sb, nInode)) continue;
        // The same file before its deletion: in use then, the same generation (a reused inode
        // gets a new one), its checksum whole where the volume keeps them.
        if (!c.InUse() || c.Type() != now.Type() || c.m_nGeneration != now.m_nGeneration || c.ChecksumBad()) continue;
        if (!c.HasInlineData() && !c.IsFastLink(m_nBlockSize) && m_pMap->Map(c, 1, nullptr).empty()) continue;
        *pOut = std::move(c);
        return true;
    }
    return false;
}

void CKivExtTreeBuilder::PlaceFromJournal() {
    if (!m_pJournal) return;
    // Each round places what the folders placed in the round before held.
    while (!m_pending.empty() && !Cancelled()) {
        std::vector<Pending> round;
        round.swap(m_pending);
        m_nPendingTotal += round.size();
        for (const Pending& p : round) {
            uint64_t b = 0;
            size_t off = 0;
            if (!InodePlace(p.nInode, &b, &off)) continue;
            for (const std::vector<uint8_t>& copy : m_pJournal->Copies(b)) {
                CKivExtInode c;
                if (!c.Parse(std::span<const uint8_t>(copy).subspan(off, m_sb.m_nInodeSize), m_sb, p.nInode)) continue;
                // The same file before its deletion: in use then, the same generation (a reused
                // inode gets a new one), its checksum whole where the volume keeps them.
                if (!c.InUse() || c.Type() != p.nType || c.m_nGeneration != p.nGeneration || c.ChecksumBad()) continue;
                if (c.IsDir()) {
                    if (!c.HasInlineData() && m_pMap->Map(c, 1, nullptr).empty()) continue;
                    m_deleted.push_back({p.pNode, p.nInode, c, true});
                } else if (!SetDeletedData(p.pAttr, c)) {
                    continue;
                }
                p.pAttr->SetTimes(c.CreationTime(), c.ModificationTime(), c.AccessTime());
                p.pAttr->SetHasCreationTime(c.HasCreationTime());
                ++m_nFromJournal;
                break;
            }
        }
        WalkQueue();
    }
}

IKivFileNode* CKivExtTreeBuilder::LostDir() {
    if (!m_pLost) {
        m_pLost = KivNewLostDir(KIV_ATTR_EXT);
        m_pRoot->AddChild(m_pLost);
    }
    return m_pLost;
}

void CKivExtTreeBuilder::UnnamedFromJournal() {
    if (!m_pJournal || Cancelled()) return;
    const uint64_t nTable = (uint64_t(m_sb.m_nInodesPerGroup) * m_sb.m_nInodeSize + m_nBlockSize - 1) / m_nBlockSize;
    const uint32_t nPerBlock = m_nBlockSize / m_sb.m_nInodeSize;
    std::vector<std::pair<uint32_t, CKivExtInode>> dirs, files;
    std::unordered_set<uint32_t> dirSet;
    for (size_t g = 0; g < m_groups.size(); ++g) {
        if ((g & 63) == 0 && Cancelled()) return;
        if (m_groups[g].nInodeTable == 0 || (m_groups[g].nFlags & kBgInodeUninit)) continue;
        for (uint64_t k = 0; k < nTable; ++k) {
            const uint64_t nBlock = m_groups[g].nInodeTable + k;
            if (!m_pJournal->Has(nBlock)) continue;
            // The block's copies are read once, and only for a block holding a deleted inode.
            std::vector<std::vector<uint8_t>> copies;
            for (uint32_t i = 0; i < nPerBlock; ++i) {
                uint64_t n64 = uint64_t(g) * m_sb.m_nInodesPerGroup + k * nPerBlock + i + 1;
                if (k * nPerBlock + i >= m_sb.m_nInodesPerGroup || n64 > m_sb.m_nInodesCount) break;
                auto n = static_cast<uint32_t>(n64);
                if (n < m_sb.m_nFirstInode || m_sb.IsOwnInode(n) || Reached(n) || m_deletedNamed.count(n) || m_dirs.count(n))
                    continue;
                CKivExtInode now, c;
                if (!ReadInode(n, &now) || now.InUse() || now.m_nMode == 0) continue;
                if (copies.empty()) copies = m_pJournal->Copies(nBlock);
                if (!JournalCopy(n, size_t(i) * m_sb.m_nInodeSize, copies, now, &c)) continue;
                if (c.IsDir()) {
                    dirs.emplace_back(n, c);
                    dirSet.insert(n);
                } else if (c.IsFile() || c.IsLink()) {
                    files.emplace_back(n, c);
                }
            }
        }
    }
    // Folders whose parent is not among them first: what they held is named inside them.
    for (int nPass = 0; nPass < 2; ++nPass) {
        for (const auto& [n, c] : dirs) {
            if (Cancelled()) return;
            if (m_dirs.count(n) || (nPass == 0 && ParentOf(c) != n && dirSet.count(ParentOf(c)))) continue;
            AddEntry(LostDir(), {n, CKivExtDirEntries::kTypeDir, true, LostName(n)}, false);
            PlaceFromJournal();
        }
    }
    for (const auto& [n, c] : files)
        if (!m_deletedNamed.count(n)) AddEntry(LostDir(), {n, CKivExtDirEntries::kTypeFile, true, LostName(n)}, false);
    PlaceFromJournal();
}

void CKivExtTreeBuilder::MarkReached(uint32_t n) {
    if (n / 64 < m_reached.size()) m_reached[n / 64] |= uint64_t(1) << (n % 64);
}

bool CKivExtTreeBuilder::Reached(uint32_t n) const {
    return n / 64 < m_reached.size() && ((m_reached[n / 64] >> (n % 64)) & 1);
}

uint32_t CKivExtTreeBuilder::ParentOf(const CKivExtInode& ino) {
    if (ino.HasInlineData()) return KivByteReader(ino.m_block.data(), 4).U32At(0);
    std::vector<KivExtExtent> first = m_pMap->Map(ino, 1, nullptr);
    std::vector<uint8_t> b;
    if (first.empty() || first[0].nLogical != 0 || !ReadBlock(first[0].nPhysical, &b)) return 0;
    // "." then "..".
    KivByteReader r(b.data(), b.size());
    uint32_t nDot = r.U16At(4);
    if (nDot < 12 || nDot + 12 > b.size() || r.U8At(nDot + 6) != 2 || r.U8At(nDot + 8) != '.' || r.U8At(nDot + 9) != '.')
        return 0;
    return r.U32At(nDot);
}

void CKivExtTreeBuilder::LostInodes() {
    MarkReached(kRootInode);
    std::vector<std::pair<uint32_t, CKivExtInode>> dirs, files;
    std::unordered_set<uint32_t> dirSet;
    std::vector<uint8_t> bm;
    const uint32_t ipg = m_sb.m_nInodesPerGroup;
    const bool bSums = m_sb.HasMetadataCsum() || (m_sb.m_nRoCompat & kRoCompatGdtCsum);
    for (size_t g = 0; g < m_groups.size(); ++g) {
        if ((g & 63) == 0 && Cancelled()) return;
        const Group& d = m_groups[g];
        if ((d.nFlags & kBgInodeUninit) || !ReadBlock(d.nInodeBitmap, &bm)) continue;
        uint32_t nUsed = bSums && d.nUnused <= ipg ? ipg - d.nUnused : ipg;
        for (uint32_t i = 0; i < nUsed && i / 8 < bm.size(); ++i) {
            if (!(bm[i / 8] & (1u << (i % 8)))) continue;
            uint32_t n = static_cast<uint32_t>(g * ipg + i + 1);
            if (n < m_sb.m_nFirstInode || Reached(n) || m_sb.IsOwnInode(n)) continue;
            CKivExtInode ino;
            if (!ReadInode(n, &ino) || !ino.InUse()) continue;
            if (ino.IsDir()) {
                dirs.emplace_back(n, ino);
                dirSet.insert(n);
            } else if (ino.IsFile() || ino.IsLink()) {
                files.emplace_back(n, ino);
            }
        }
    }
    // A lost folder inside another lost one is shown where it is, below the outer one.
    for (const auto& [n, ino] : dirs) {
        if (Cancelled()) return;
        uint32_t nParent = ParentOf(ino);
        if (nParent != n && dirSet.count(nParent)) continue;
        if (m_dirs.count(n)) continue;
        AddEntry(LostDir(), {n, CKivExtDirEntries::kTypeDir, false, LostName(n)}, false);
        WalkQueue();
    }
    // Those whose lost parent did not name them after all.
    for (const auto& [n, ino] : dirs) {
        if (Cancelled()) return;
        if (m_dirs.count(n)) continue;
        AddEntry(LostDir(), {n, CKivExtDirEntries::kTypeDir, false, LostName(n)}, false);
        WalkQueue();
    }
    for (const auto& [n, ino] : files)
        if (!Reached(n)) AddEntry(LostDir(), {n, CKivExtDirEntries::kTypeFile, false, LostName(n)}, false);
}

void CKivExtTreeBuilder::AddRawTree() {
    CClusterUseBitMap used;
    if (KivFailed(used.Init(m_nFirst, m_nSpc, m_sb.m_nBlocksCount))) return;
    // Carved files come from the blocks the bitmaps leave free.
    const uint64_t nBlocks = m_sb.m_nBlocksCount;
    for (uint64_t b = 0; b < nBlocks;) {
        if (!BlockInUse(b)) {
            ++b;
            continue;
        }
        uint64_t e = b + 1;
        while (e < nBlocks && BlockInUse(e)) ++e;
        used.SetUsed(b, e - b);
        b = e;
    }
    if (IKivFileNode* pRaw = BuildRawTree(&used, m_pCallback, m_pDev, m_pRawList)) m_pRoot->AddChild(pRaw);
}
