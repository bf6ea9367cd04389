#include "CKivExFatTreeBuilder.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "CKivExFatEntrySet.h"
#include "KivByteReader.h"
#include "KivLog.h"
#include "Model/CClusterUseBitMap.h"
#include "Model/CKivFileAttrExFAT.h"
#include "Model/KivEngineFilter.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivPartName.h"
#include "Model/KivTreeTidy.h"
#include "Raw/CKivFragmentJoiner.h"
#include "Raw/KivRawTree.h"
#include "platform/KivPlatform.h"

using namespace KivExFat;

namespace {

constexpr uint64_t kMaxUpcaseBytes = 256u << 10;
// What the content check and joining of one volume's deleted files may take.
constexpr std::chrono::milliseconds kContentCheckTime{60000};

bool HasEndSlot(std::span<const uint8_t> bytes) {
    for (size_t off = 0; off + kEntrySize <= bytes.size(); off += kEntrySize)
        if (bytes[off] == kTypeEnd) return true;
    return false;
}

}  // namespace

CKivExFatTreeBuilder::CKivExFatTreeBuilder(CKivScanResPartExFAT* pPart, IKivDevStor* pDev,
                                           const std::vector<KivExFatDirSectorRec>* pDirSectors,
                                           CRawFileList* pRawList, IKivEnumResFilesCallback* pCallback,
                                           uint32_t nNameBase)
    : CKivTreeBuilderBase("CKivExFatTreeBuilder", pDev, pRawList, pCallback, nNameBase), m_pPart(pPart),
      m_pDirSectors(pDirSectors) {}

CKivExFatTreeBuilder::~CKivExFatTreeBuilder() { KivSafeRelease(m_pRoot); }

std::vector<uint8_t> CKivExFatTreeBuilder::ReadClusters(const std::vector<uint32_t>& clusters) {
    const size_t nClusBytes = size_t(m_nSpc) * m_nSectorSize;
    std::vector<uint8_t> out(clusters.size() * nClusBytes, 0);
    uint64_t nDev = m_pDev->GetSectorCount();
    for (size_t i = 0; i < clusters.size(); ++i) {
        uint64_t s = ClusterSector(clusters[i]);
        if (s >= nDev || m_nSpc > nDev - s || !m_pDev->ReadSectors(out.data() + i * nClusBytes, s, m_nSpc))
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i * nClusBytes), nClusBytes, 0);
    }
    return out;
}

std::vector<uint8_t> CKivExFatTreeBuilder::ReadRuns(const std::vector<KivDataRun>& runs, uint64_t nBytes) {
    std::vector<uint8_t> out = ReadClusters(CKivExFatRunBuilder::ClustersOf(runs));
    if (out.size() > nBytes) out.resize(size_t(nBytes));
    return out;
}

void CKivExFatTreeBuilder::LoadFat() {
    if (m_pPart->m_nFatSectors == 0) return;  // a volume found from its directories may have none
    uint64_t nFat1 = m_pPart->m_nFirstSector + m_pPart->m_nFatOffset;
    bool bSecond = m_pPart->m_nFatCount == 2 && (m_pPart->m_nVolumeFlags & 1);
    uint64_t nActive = bSecond ? nFat1 + m_pPart->m_nFatSectors : nFat1;
    uint64_t nOther = bSecond ? nFat1 : nFat1 + m_pPart->m_nFatSectors;
    if (m_fat.Load(m_pDev, nActive, m_pPart->m_nClusterCount)) return;
    if (m_pPart->m_nFatCount == 2 && m_fat.Load(m_pDev, nOther, m_pPart->m_nClusterCount))
        KivLogA(0, "exFAT: the active FAT is unreadable, the other copy is used");
}

void CKivExFatTreeBuilder::LoadRootEntries(std::span<const uint8_t> root) {
    KivByteReader r(root);
    bool bSecond = m_pPart->m_nFatCount == 2 && (m_pPart->m_nVolumeFlags & 1);
    uint32_t nBitmap = 0, nUpcase = 0;
    uint64_t nBitmapBytes = 0, nUpcaseBytes = 0;
    uint32_t nUpcaseSum = 0;
    bool bLabel = false;
    for (size_t off = 0; off + kEntrySize <= root.size(); off += kEntrySize) {
        uint8_t t = r.U8At(off);
        if (t == kTypeEnd) break;
        if (t == kTypeBitmap && (!nBitmap || (r.U8At(off + 1) & 1) == (bSecond ? 1 : 0))) {
            nBitmap = r.U32At(off + 20);
            nBitmapBytes = r.U64At(off + 24);
        } else if (t == kTypeUpcase && !nUpcase) {
            nUpcaseSum = r.U32At(off + 4);
            nUpcase = r.U32At(off + 20);
            nUpcaseBytes = r.U64At(off + 24);
        } else if (t == kTypeLabel && !bLabel) {
            bLabel = true;
            std::u16string label;
            for (size_t i = 0; i < std::min<size_t>(r.U8At(off + 1), 11); ++i)
                label.push_back(static_cast<char16_t>(r.U16At(off + 2 + 2 * i)));
            if (size_t z = label.find(u'\0'); z != std::u16string::npos) label.resize(z);
            m_strLabel = KivUtf16ToUtf8(label);
        }
    }
    if (nBitmap >= 2 && nBitmapBytes) {
        uint64_t nBytes = std::min<uint64_t>(nBitmapBytes, (uint64_t(m_pPart->m_nClusterCount) + 7) / 8);
        CKivExFatRunBuilder::Result res = m_pRuns->Live(nBitmap, nBytes, false);
        std::vector<uint8_t> bytes = ReadRuns(res.runs, nBytes);
        m_bitmap.Load(bytes, m_nClusters);
        m_used.insert(m_used.end(), res.runs.begin(), res.runs.end());
    }
    if (nUpcase >= 2 && nUpcaseBytes && nUpcaseBytes <= kMaxUpcaseBytes) {
        CKivExFatRunBuilder::Result res = m_pRuns->Live(nUpcase, nUpcaseBytes, false);
        std::vector<uint8_t> bytes = ReadRuns(res.runs, nUpcaseBytes);
        if (CKivExFatUpcase::TableChecksum(bytes) != nUpcaseSum)
            KivLogA(0, "exFAT: the up-case table's checksum does not match; names are compared as far as it decodes");
        if (!m_upcase.Load(bytes)) KivLogA(0, "exFAT: the up-case table does not decode; ASCII letters only");
        m_used.insert(m_used.end(), res.runs.begin(), res.runs.end());
    }
}

IKivFsNode* CKivExFatTreeBuilder::Build() {
    if (!m_pPart || !m_pDev) return nullptr;
    Phase("Reading the exFAT file system");
    m_nSectorSize = m_pDev->GetSectorSize();
    m_nSpc = m_pPart->m_nSecPerClus32 ? m_pPart->m_nSecPerClus32 : m_pPart->m_nSecPerClus;
    m_nHeap = m_pPart->m_nDataStart;
    if (m_nSectorSize == 0 || m_nSpc == 0) return nullptr;
    // Clusters past the end of the volume as found (or of the device) cannot be read.
    uint64_t nEnd;
    if (KivAddOverflows(m_pPart->m_nFirstSector, m_pPart->m_nSectorCount, &nEnd)) nEnd = ~0ull;
    nEnd = std::min(nEnd, m_pDev->GetSectorCount());
    uint64_t nOnDevice = nEnd > m_nHeap ? (nEnd - m_nHeap) / m_nSpc : 0;
    m_nClusters = static_cast<uint32_t>(std::min<uint64_t>(m_pPart->m_nClusterCount, nOnDevice));

    LoadFat();
    if (m_pDirSectors)
        for (const KivExFatDirSectorRec& d : *m_pDirSectors) {
            uint64_t k = d.nSector >= m_nHeap ? (d.nSector - m_nHeap) / m_nSpc + 2 : 0;
            if (k >= 2 && k - 2 < m_nClusters) m_scanDirs.insert(static_cast<uint32_t>(k));
        }
    m_pRuns = std::make_unique<CKivExFatRunBuilder>(&m_fat, &m_bitmap, m_nClusters, uint64_t(m_nSpc) * m_nSectorSize);
    Progress(50);

    std::vector<uint32_t> rootClusters;
    std::vector<uint8_t> rootBytes;
    uint32_t nRoot = m_pPart->m_nRootCluster;
    if (m_pRuns->IsHeapCluster(nRoot)) {
        uint64_t nMax = std::max<uint64_t>(1, kMaxDirBytes / m_pRuns->ClusterBytes());
        if (m_fat.IsLoaded()) {
            rootClusters = m_pRuns->ChainClusters(nRoot, nMax);
            rootBytes = ReadClusters(rootClusters);
        } else {
            rootClusters = GroupFrom(nRoot, &rootBytes);
        }
        LoadRootEntries(rootBytes);
    }
    if (m_pCallback) m_pCallback->OnPhaseEnd();

    auto* pAttr = static_cast<CKivFileAttrExFAT*>(KivNewAttr(KIV_ATTR_EXFAT));
    std::string strName = KivFormatPartName(KivFsTypeText(KIV_FS_EXFAT), m_nNameBase + 1, 0, m_strLabel.c_str());
    pAttr->SetName(strName.c_str());
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    m_pRoot = KivNewFsNode(pAttr);
    m_pRoot->SetPartInfo(m_nHeap, m_nSpc);
    m_pRoot->SetFsType(KIV_FS_EXFAT);
    if (!m_strLabel.empty()) m_pRoot->SetLabel(m_strLabel.c_str());

    if (!rootClusters.empty()) {
        m_dirs[nRoot] = m_pRoot;
        for (uint32_t c : rootClusters) m_claimed.insert(c);
        WalkBytes(m_pRoot, rootBytes, nRoot, false);
    }
    WalkQueues();
    LostDirs();
    if (!Cancelled()) CheckDeletedContent();
    if (!Cancelled()) AddRawTree();
    if (Cancelled()) return nullptr;  // the destructor releases the partial tree
    KivRemoveEmptyDeletedDirs(m_pRoot);
    m_pRoot->RecountStats();
    if (m_nHashMismatch)
        KivLogA(0, "exFAT: %llu entry sets whose name hash disagrees with the up-case table",
                static_cast<unsigned long long>(m_nHashMismatch));
    IKivFsNode* p = m_pRoot;
    m_pRoot = nullptr;
    return p;
}

std::vector<uint32_t> CKivExFatTreeBuilder::GroupFrom(uint32_t c, std::vector<uint8_t>* pBytes) {
    const std::unordered_set<uint32_t>& seen = m_scanDirs;
    std::vector<uint32_t> group{c};
    *pBytes = ReadClusters(group);
    const uint64_t nMax = std::max<uint64_t>(1, kMaxDirBytes / m_pRuns->ClusterBytes());
    std::vector<uint8_t> last = *pBytes;
    while (group.size() < nMax && !HasEndSlot(last)) {
        uint32_t cur = group.back();
        uint32_t next = m_fat.IsLoaded() ? m_fat.Next(cur) : 0;
        if (!next || !seen.count(next)) next = cur + 1;
        if (!seen.count(next) || m_claimed.count(next) || std::find(group.begin(), group.end(), next) != group.end())
            break;
        group.push_back(next);
        last = ReadClusters({next});
        pBytes->insert(pBytes->end(), last.begin(), last.end());
    }
    return group;
}

void CKivExFatTreeBuilder::Queue(IKivFileNode* pNode, std::vector<uint32_t> clusters, uint32_t nFirst, bool bDeleted) {
    (bDeleted ? m_deleted : m_live).push_back({pNode, std::move(clusters), nFirst, bDeleted});
}

void CKivExFatTreeBuilder::WalkQueues() {
    WalkLiveFirst(m_live, m_deleted, [this](const DirWork& w) { WalkDir(w); });
}

void CKivExFatTreeBuilder::WalkDir(const DirWork& w) {
    std::vector<uint32_t> clusters;
    for (uint32_t c : w.clusters) {
        if (m_claimed.count(c)) continue;  // read already, as part of this or another folder
        // What a deleted folder had and is allocated again is someone else's now.
        if (w.bDeleted && m_bitmap.IsAllocated(c)) continue;
        m_claimed.insert(c);
        clusters.push_back(c);
    }
    if (clusters.empty()) return;
    std::vector<uint8_t> bytes = ReadClusters(clusters);
    WalkBytes(w.pNode, bytes, w.nFirst, w.bDeleted);
}

void CKivExFatTreeBuilder::WalkBytes(IKivFileNode* pDir, std::span<const uint8_t> bytes, uint32_t nDirCluster,
                                     bool bDirDeleted) {
    size_t nSteps = 0;
    for (size_t off = 0; off + kEntrySize <= bytes.size();) {
        if ((++nSteps & 4095) == 0 && Cancelled()) return;
        uint8_t t = bytes[off];
        if (t == kTypeEnd) break;  // nothing is written after the end mark
        if ((t | kInUse) != kTypeFile) {
            off += kEntrySize;
            continue;
        }
        CKivExFatEntrySet set;
        CKivExFatEntrySet::Status st = set.Parse(bytes, off);
        if (st == CKivExFatEntrySet::kCut) break;  // the set runs past the folder's end
        if (st == CKivExFatEntrySet::kBroken) {
            off += kEntrySize;  // written over in part: look for the next set right after it
            continue;
        }
        AddEntry(pDir, set, nDirCluster, bDirDeleted);
        off += set.EntryCount() * kEntrySize;
    }
}

void CKivExFatTreeBuilder::AddEntry(IKivFileNode* pDir, const CKivExFatEntrySet& set, uint32_t nDirCluster,
                                    bool bDirDeleted) {
    std::string strName = KivUtf16ToUtf8(set.m_name);
    if (m_upcase.NameHash(set.m_name) != set.m_nNameHash) ++m_nHashMismatch;
    bool bDir = set.IsDirectory();
    if (!bDir && !KivEngineFilter().IsFileNameKept(strName.c_str(), false)) return;
    uint32_t nFirst = set.m_nFirstCluster;
    if (bDir && m_dirs.count(nFirst)) return;  // its content is shown under the folder that has it
    if (!NodeBudget()) return;

    bool bDeleted = !set.m_bInUse || bDirDeleted;
    // An entry left in use inside a deleted folder still owns its clusters only while they are
    // allocated.
    bool bLiveRules = set.m_bInUse && (!bDirDeleted || m_bitmap.IsAllocated(nFirst) || !m_bitmap.IsLoaded());
    uint64_t nBytes = bDir ? std::min<uint64_t>(set.m_nDataLength, kMaxDirBytes) : set.m_nDataLength;
    CKivExFatRunBuilder::Result res = bLiveRules ? m_pRuns->Live(nFirst, nBytes, set.NoFatChain())
                                                 : m_pRuns->Deleted(nFirst, nBytes, set.NoFatChain());

    auto* pAttr = static_cast<CKivFileAttrExFAT*>(KivNewAttr(KIV_ATTR_EXFAT));
    pAttr->SetName(strName.c_str());
    pAttr->SetSize(bDir ? 0 : set.m_nDataLength);
    pAttr->SetValidLength(bDir ? 0 : std::min(set.m_nValidLength, set.m_nDataLength));
    pAttr->SetAttributes(set.m_nAttributes);
    pAttr->SetTimes(set.CreationTime(), set.ModificationTime(), set.AccessTime());
    pAttr->SetRecordState(bDeleted ? KIV_REC_DELETED : 0);
    pAttr->SetClusters(nFirst, nDirCluster);
    IKivFileNode* pNode = KivNewFileNode(pAttr);
    if (bDir) {
        if (m_pRuns->IsHeapCluster(nFirst) && !res.runs.empty()) {
            m_dirs[nFirst] = pNode;
            Queue(pNode, CKivExFatRunBuilder::ClustersOf(res.runs), nFirst, bDeleted);
        }
    } else {
        pAttr->SetDamage(res.damage);
        CKivCompactRunList list;
        for (const KivDataRun& r : res.runs) list.Append(r.nStart, r.nLength);
        pAttr->SetRuns(std::move(list));
        m_used.insert(m_used.end(), res.runs.begin(), res.runs.end());
        if (bDeleted) m_deletedFiles.push_back(pAttr);
    }
    pDir->AddChild(pNode);
}

void CKivExFatTreeBuilder::LostDirs() {
    if (Cancelled()) return;
    std::set<uint32_t> lost;
    for (uint32_t c : m_scanDirs)
        if (!m_claimed.count(c)) lost.insert(c);
    size_t nDone = 0;
    for (uint32_t c : lost) {
        if ((++nDone & 255) == 0 && Cancelled()) return;
        if (m_claimed.count(c)) continue;  // taken meanwhile by a folder found in another lost one
        if (!NodeBudget()) break;
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> group = GroupFrom(c, &bytes);
        for (uint32_t k : group) m_claimed.insert(k);
        if (!m_pLost) {
            m_pLost = KivNewLostDir(KIV_ATTR_EXFAT);
            m_pRoot->AddChild(m_pLost);
        }
        IKivFileNode* pDir = KivNewDirNode(KIV_ATTR_EXFAT, KivNextReconstructedDirName().c_str(),
                                           KIV_REC_DELETED | KIV_REC_RECONSTRUCTED);
        static_cast<CKivFileAttrExFAT*>(pDir->GetAttr())->SetClusters(c, 0);
        m_pLost->AddChild(pDir);
        m_dirs[c] = pDir;
        WalkBytes(pDir, bytes, c, true);
        WalkQueues();
    }
}

void CKivExFatTreeBuilder::CheckDeletedContent() {
    if (m_deletedFiles.empty()) return;
    const uint64_t K = m_pRuns->ClusterBytes();
    const bool bMayJoin = m_bitmap.IsLoaded();
    CKivFragmentJoiner joiner(
        [this](uint64_t c, uint64_t n, uint8_t* p) {
            uint64_t nSecs = n * m_nSpc, nFirst = m_nHeap + c * m_nSpc;
            uint64_t nDev = m_pDev->GetSectorCount();
            return nFirst < nDev && nSecs <= nDev - nFirst && m_pDev->ReadSectors(p, nFirst, nSecs) != 0;
        },
        [this](uint64_t c) { return !m_bitmap.IsAllocated(static_cast<uint32_t>(c + 2)); }, m_nClusters, K);
    std::map<uint64_t, uint64_t> extents;
    for (CKivFileAttrExFAT* a : m_deletedFiles)
        if (a->GetDamage() == CKivFileAttrExFAT::kGuessed && a->GetFirstCluster() >= 2)
            extents[a->GetFirstCluster() - 2] = m_pRuns->ClustersFor(a->GetSize());
    joiner.SetDeletedExtents(std::move(extents));
    CKivFragmentJoiner::Budget budget(kContentCheckTime);
    if (m_pCallback && m_pCallback->SetPhase("Checking the content of deleted files", m_deletedFiles.size()) == -1)
        m_bCancelled = true;
    uint64_t nDone = 0;
    for (CKivFileAttrExFAT* pAttr : m_deletedFiles) {
        if (Cancelled()) return;
        if (m_pCallback && m_pCallback->SetProgress(++nDone) == -1) m_bCancelled = true;
        CKivFileAttrExFAT::Damage d = pAttr->GetDamage();
        if ((d != CKivFileAttrExFAT::kIntact && d != CKivFileAttrExFAT::kGuessed) ||
            (pAttr->GetRecordState() & KIV_REC_DAMAGED) || pAttr->GetValidLength() < pAttr->GetSize())
            continue;
        // Only clusters taken by guess may be joined; a chain or a contiguous file is what was written.
        auto res = KivCheckDeletedAttr(&joiner, pAttr, bMayJoin && d == CKivFileAttrExFAT::kGuessed, &budget);
        if (res.kind == CKivFragmentJoiner::Result::kJoined) m_used.insert(m_used.end(), res.runs.begin(), res.runs.end());
    }
    if (m_pCallback) m_pCallback->OnPhaseEnd();
}

void CKivExFatTreeBuilder::AddRawTree() {
    CClusterUseBitMap used;
    if (KivFailed(used.Init(m_nHeap, m_nSpc, m_nClusters))) return;
    // Carved files come from what no entry claims and the bitmap leaves free.
    m_bitmap.ForEachAllocated([&used](uint64_t c, uint64_t n) { used.SetUsed(c - 2, n); });
    for (const KivDataRun& r : m_used) used.SetUsed(r.nStart, r.nLength);
    for (uint32_t c : m_claimed) used.SetUsed(c - 2);
    if (IKivFileNode* pRaw = BuildRawTree(&used, m_pCallback, m_pDev, m_pRawList)) m_pRoot->AddChild(pRaw);
}
