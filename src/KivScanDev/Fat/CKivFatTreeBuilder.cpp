#include "CKivFatTreeBuilder.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "CKivFatDirEntry.h"
#include "CKivFatDirSector.h"
#include "CKivFatLongName.h"
#include "KivByteReader.h"
#include "KivFatSettings.h"
#include "KivLog.h"
#include "Model/KivPartName.h"
#include "Model/CClusterUseBitMap.h"
#include "Model/CKivFileAttrFAT.h"
#include "Model/KivEngineFilter.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivRecycleBin.h"
#include "Model/KivTreeTidy.h"
#include "Raw/CKivFragmentJoiner.h"
#include "Raw/KivRawTree.h"

namespace {

constexpr uint64_t kMaxDirBytes = 2u << 20;  // 65536 entries, the most a directory can hold
constexpr uint32_t kEvidenceBoot = 0x01 | 0x02 | 0x04 | 0x08;
constexpr uint32_t kUseFirstFat = 0x80;
constexpr uint32_t kUseSecondFat = 0x200;
// What the content check and joining of one volume's deleted files may take.
constexpr std::chrono::milliseconds kContentCheckTime{60000};

uint8_t StateOf(IKivFileNode* p) { return p && p->GetAttr() ? p->GetAttr()->GetRecordState() : 0; }

bool IsAncestorOrSelf(IKivFileNode* pMaybe, IKivFileNode* pNode) {
    for (IKivFileNode* p = pNode; p; p = p->GetParent())
        if (p == pMaybe) return true;
    return false;
}

}  // namespace

CKivFatTreeBuilder::CKivFatTreeBuilder(CKivScanResPartFAT* pPart, IKivDevStor* pDev,
                                       const std::vector<KivFatDirSectorRec>* pDirSectors, CRawFileList* pRawList,
                                       IKivEnumResFilesCallback* pCallback, uint32_t nNameBase)
    : CKivTreeBuilderBase("CKivFatTreeBuilder", pDev, pRawList, pCallback, nNameBase), m_pPart(pPart),
      m_pDirSectors(pDirSectors) {}

CKivFatTreeBuilder::~CKivFatTreeBuilder() { KivSafeRelease(m_pRoot); }

bool CKivFatTreeBuilder::IsFat32() const { return m_pPart->m_nType == KIV_FS_FAT32; }

// The tables lie between the reserved sectors and the root area (FAT12/16) or the data area.
uint32_t CKivFatTreeBuilder::FatCopies() const {
    const CKivScanResPartFAT& p = *m_pPart;
    uint64_t nMetaStart = p.m_nFirstSector + p.m_nReservedSectors;
    uint64_t nRoot = IsFat32() ? 0 : p.m_nRoot;
    if (p.m_nSectorsPerFat == 0 || p.m_nDataStart < nMetaStart + nRoot) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(2, (p.m_nDataStart - nMetaStart - nRoot) / p.m_nSectorsPerFat));
}

bool CKivFatTreeBuilder::ReadSectors(std::vector<uint8_t>* pBuf, uint64_t nFirst, uint64_t nCount) {
    pBuf->assign(size_t(nCount) * m_nSectorSize, 0);
    uint64_t nSecs = m_pDev->GetSectorCount();
    if (nCount == 0 || nFirst >= nSecs || nCount > nSecs - nFirst) return false;
    return m_pDev->ReadSectors(pBuf->data(), nFirst, nCount) != 0;
}

IKivFsNode* CKivFatTreeBuilder::Build() {
    if (!m_pPart || !m_pDev) return nullptr;
    Phase("Reading the FAT file system");

    m_nSectorSize = m_pDev->GetSectorSize();
    m_nSecPerClus = m_pPart->m_nSecPerClus;
    m_nDataStart = m_pPart->m_nDataStart;
    if (m_nSectorSize == 0 || m_nSecPerClus == 0) return nullptr;
    uint32_t nFlags = m_pPart->m_nEvidenceFlags;
    uint64_t nEnd;
    if (KivAddOverflows(m_pPart->m_nFirstSector, m_pPart->m_nSectorCount, &nEnd)) nEnd = ~0ull;
    m_nDataClusters = nEnd > m_nDataStart ? (nEnd - m_nDataStart) / m_nSecPerClus : 0;
    // A boot sector states the volume's own cluster count. When the medium ends before the volume
    // does, the chains still run to the clusters the table names; what lies past the end is then
    // missing, not shorter.
    if ((nFlags & kEvidenceBoot) && m_pPart->m_nClusterCount > m_nDataClusters)
        m_nDataClusters = m_pPart->m_nClusterCount;
    m_nDataClusters = std::min<uint64_t>(m_nDataClusters, KIV_FAT_BAD - 2);

    m_fat.Load(m_pDev, m_pPart->m_nType, m_pPart->m_nFirstSector + m_pPart->m_nReservedSectors,
               m_pPart->m_nSectorsPerFat, nFlags & kUseFirstFat, (nFlags & kUseSecondFat) && FatCopies() == 2);
    m_bUsedMap = !KivFailed(m_used.Init(m_nDataStart, m_nSecPerClus, m_nDataClusters));
    m_bLiveMap = !KivFailed(m_live.Init(m_nDataStart, m_nSecPerClus, m_nDataClusters));
    m_pRuns = std::make_unique<CKivFatRunBuilder>(m_fat.HasTable() ? &m_fat : nullptr, m_nDataClusters,
                                                  uint64_t(m_nSecPerClus) * m_nSectorSize);
    Progress(50);
    if (m_pCallback) m_pCallback->OnPhaseEnd();

    const KivFatSettings& s = KivFatSettings::Get();
    auto* pAttr = static_cast<CKivFileAttrFAT*>(KivNewAttr(KIV_ATTR_FAT));
    std::string strName = KivFormatPartName(KivFsTypeText(m_pPart->m_nType), m_nNameBase + 1, s.cDriveLetter,
                                            s.strLabel.c_str());
    pAttr->SetName(strName.c_str());
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    m_pRoot = KivNewFsNode(pAttr);
    m_pRoot->SetPartInfo(m_nDataStart, m_nSecPerClus);
    m_pRoot->SetFsType(m_pPart->m_nType);

    if (nFlags & kEvidenceBoot) {
        if (IsFat32()) {
            uint32_t nRoot = m_pPart->m_nRoot;
            if (m_pRuns->IsDataCluster(nRoot)) {
                m_dirs[nRoot] = m_pRoot;
                m_queue.push_back({nRoot, false});
            }
        } else {
            m_queue.push_back({0, false});
        }
    }
    WalkQueue();
    // The volume label is known once the root has been read; the partition is named by it, as an
    // NTFS partition is by its own.
    if (m_bLabelSet && s.strLabel.empty() && *m_pRoot->GetLabel())
        m_pRoot->GetAttr()->SetName(KivFormatPartName(KivFsTypeText(m_pPart->m_nType), m_nNameBase + 1, s.cDriveLetter,
                                                      m_pRoot->GetLabel()).c_str());
    ReconstructDirs();
    if (!Cancelled()) MarkReused();
    if (!Cancelled()) CheckDeletedContent();
    if (!Cancelled()) AddRawTree();
    if (Cancelled()) return nullptr;  // the destructor releases the partial tree
    Tidy();
    m_pRoot->RecountStats();
    IKivFsNode* p = m_pRoot;
    m_pRoot = nullptr;
    return p;
}

void CKivFatTreeBuilder::WalkQueue() {
    std::unordered_set<uint32_t> walked;
    while (!m_queue.empty() && !Cancelled()) {
        DirWork w = m_queue.front();
        m_queue.pop_front();
        if (w.nCluster == 0) {
            WalkDir(m_pRoot, w);
            continue;
        }
        auto it = m_dirs.find(w.nCluster);
        if (it == m_dirs.end() || !walked.insert(w.nCluster).second) continue;
        WalkDir(it->second, w);
    }
}

void CKivFatTreeBuilder::WalkDir(IKivFileNode* pDir, const DirWork& work) {
    bool bDeleted = pDir != m_pRoot && (StateOf(pDir) & KIV_REC_DELETED);
    bool bRecycle = work.nCluster && m_recycleDirs.count(work.nCluster);

    // The pieces to read: the fixed root area, or the directory's clusters.
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
    if (work.nCluster == 0) {
        // The root area ends where the data area begins, whatever the number of tables before it.
        uint64_t nRootSecs = std::min<uint64_t>(m_pPart->m_nRoot, kMaxDirBytes / m_nSectorSize);
        if (nRootSecs && m_nDataStart >= m_pPart->m_nRoot) pieces.emplace_back(m_nDataStart - m_pPart->m_nRoot, nRootSecs);
    } else {
        uint32_t nMax = static_cast<uint32_t>(std::max<uint64_t>(1, kMaxDirBytes / (uint64_t(m_nSecPerClus) * m_nSectorSize)));
        // A deleted directory's chain was freed: its clusters are found by their content.
        std::vector<uint32_t> clusters;
        if (work.bOneCluster)
            clusters = {work.nCluster};
        else if (bDeleted && m_pRuns->GetEntry(work.nCluster) == KIV_FAT_FREE)
            clusters = DeletedDirClusters(work.nCluster, nMax);
        else
            clusters = m_pRuns->DirClusters(work.nCluster, nMax);
        for (uint32_t c : clusters) {
            if (!m_dirClusters.insert(c).second) continue;  // already read as part of another directory
            if (!bDeleted && m_bLiveMap) m_live.SetUsed(c - 2);
            pieces.emplace_back(m_nDataStart + uint64_t(c - 2) * m_nSecPerClus, m_nSecPerClus);
        }
    }

    CKivFatLongName lfn;
    lfn.Reset();
    int nDots = 0;
    std::vector<IKivFileNode*> recycleCands;
    std::vector<uint8_t> buf;
    for (auto [nSector, nCount] : pieces) {
        if (!ReadSectors(&buf, nSector, nCount)) {
            lfn.Reset();
            continue;
        }
        for (size_t off = 0; off + CKivFatDirEntry::kSize <= buf.size(); off += CKivFatDirEntry::kSize) {
            std::span<const uint8_t> raw(buf.data() + off, CKivFatDirEntry::kSize);
            CKivFatDirEntry e;
            e.Decode(raw);
            if (!e.IsPlausible(false)) {
                if (bRecycle) return;
                lfn.Reset();
                continue;
            }
            if (e.IsLongName()) {
                lfn.Add(raw);
                continue;
            }
            if (e.IsLabel()) {
                lfn.Reset();
                if (!bRecycle && !e.IsDeleted() && !m_bLabelSet) {
                    m_pRoot->SetLabel(e.LabelText().c_str());
                    m_bLabelSet = true;
                }
                continue;
            }
            if (e.m_name[0] == '.') {
                lfn.Reset();
                if (++nDots > 2) return;  // a directory with a third "." entry is not a directory
                continue;
            }
            uint8_t nFirstByte = 0;
            std::string strName = lfn.Take(e, &nFirstByte);
            if (strName.empty()) strName = e.ShortName(nFirstByte ? nFirstByte : '_');
            AddEntry(pDir, work.nCluster, e, strName, bDeleted, bRecycle, &recycleCands);
        }
    }
}

// How a cluster reads as directory content.
CKivFatTreeBuilder::DirPiece CKivFatTreeBuilder::ReadDirPiece(uint32_t c, bool bFirst) {
    std::vector<uint8_t> buf;
    if (!ReadSectors(&buf, m_nDataStart + uint64_t(c - 2) * m_nSecPerClus, m_nSecPerClus)) return DirPiece::kNone;
    bool bEnded = false;
    for (size_t off = 0; off + m_nSectorSize <= buf.size() && !bEnded; off += m_nSectorSize) {
        std::span<const uint8_t> sector(buf.data() + off, m_nSectorSize);
        CKivFatDirSector ds;
        bool bOk = ds.Test(sector);
        if (off == 0 && (!bOk || ds.m_bStart != bFirst)) return bFirst ? DirPiece::kEnds : DirPiece::kNone;
        if (!bOk) {
            // An empty sector ends the directory; anything else is not part of it.
            if (!std::all_of(sector.begin(), sector.end(), [](uint8_t b) { return b == 0; })) return DirPiece::kNone;
            bEnded = true;
        }
        bEnded = bEnded || ds.m_bEnded;
        // What followed a deleted folder holds only deleted entries; live ones belong to another.
        if (!bFirst)
            for (size_t e = 0; e + CKivFatDirEntry::kSize <= sector.size(); e += CKivFatDirEntry::kSize) {
                if (sector[e] == 0) break;
                if (sector[e] != CKivFatDirEntry::kDeletedMark) return DirPiece::kNone;
            }
    }
    return bEnded ? DirPiece::kEnds : DirPiece::kGoesOn;
}

std::vector<uint32_t> CKivFatTreeBuilder::DeletedDirClusters(uint32_t nFirst, uint32_t nMax) {
    // The freed chain says nothing. The folder grew by taking free clusters after its first, which
    // are free again now: the next free cluster when it still reads as the folder's content, else
    // the next directory piece the scan saw, when no other folder starts before it.
    std::vector<uint32_t> out{nFirst};
    if (ReadDirPiece(nFirst, true) == DirPiece::kEnds) return out;
    if (!m_bPiecesIndexed) IndexDirPieces();
    for (uint32_t c = nFirst; out.size() < nMax;) {
        uint32_t next = m_pRuns->NextFreeAfter(c);
        DirPiece piece = next && !m_dirClusters.count(next) ? ReadDirPiece(next, false) : DirPiece::kNone;
        if (piece == DirPiece::kNone) {
            auto it = std::upper_bound(m_pieceClusters.begin(), m_pieceClusters.end(), c);
            auto start = std::upper_bound(m_startClusters.begin(), m_startClusters.end(), c);
            for (; it != m_pieceClusters.end() && (start == m_startClusters.end() || *it < *start); ++it) {
                if (m_dirClusters.count(*it) || m_pRuns->GetEntry(*it) != KIV_FAT_FREE) continue;
                piece = ReadDirPiece(*it, false);
                if (piece != DirPiece::kNone) {
                    next = *it;
                    break;
                }
            }
        }
        if (piece == DirPiece::kNone) break;
        out.push_back(next);
        if (piece == DirPiece::kEnds) break;
        c = next;
    }
    return out;
}

void CKivFatTreeBuilder::IndexDirPieces() {
    m_bPiecesIndexed = true;
    if (!m_pDirSectors) return;
    for (const KivFatDirSectorRec& r : *m_pDirSectors) {
        if (r.nSector < m_nDataStart || (r.nSector - m_nDataStart) % m_nSecPerClus) continue;
        uint64_t c = (r.nSector - m_nDataStart) / m_nSecPerClus + 2;
        if (!m_pRuns->IsDataCluster(c)) continue;
        (r.nCluster < 0 ? m_pieceClusters : m_startClusters).push_back(static_cast<uint32_t>(c));
    }
    std::sort(m_pieceClusters.begin(), m_pieceClusters.end());
    std::sort(m_startClusters.begin(), m_startClusters.end());
}

void CKivFatTreeBuilder::AddEntry(IKivFileNode* pDir, uint32_t nDirCluster, const CKivFatDirEntry& e,
                                  const std::string& strName, bool bDirDeleted, bool bRecycle,
                                  std::vector<IKivFileNode*>* pRecycleCands) {
    uint32_t nFirst = e.FirstCluster(IsFat32());
    if (nFirst > 2 && !m_pRuns->IsDataCluster(nFirst)) return;
    if (nDirCluster && nFirst == nDirCluster) return;
    bool bDeleted = bDirDeleted || e.IsDeleted();
    bool bDir = e.IsDirectory();
    if (!bDir && !KivEngineFilter().IsFileNameKept(strName.c_str(), false)) return;
    if (!NodeBudget()) return;

    auto* pAttr = static_cast<CKivFileAttrFAT*>(KivNewAttr(KIV_ATTR_FAT));
    pAttr->SetName(strName.c_str());
    pAttr->SetSize(bDir ? 0 : e.m_nSize);
    pAttr->SetAttributes(e.m_nAttr);
    pAttr->SetTimes(e.CreationTime(), e.ModificationTime(), e.AccessTime());
    pAttr->SetRecordState(bDeleted ? KIV_REC_DELETED : 0);
    pAttr->SetScannerValues(nFirst, nDirCluster);

    if (!bDir) {
        // A deleted entry whose first cluster still starts a chain was cut off from its folder
        // without being freed; only freed clusters are searched for freed data.
        bool bFreed = e.IsDeleted() || m_pRuns->GetEntry(nFirst) == KIV_FAT_FREE ||
                      m_pRuns->GetEntry(nFirst) == KIV_FAT_BAD;
        bool bGuessed = bDeleted && bFreed && m_pRuns->HasTable();
        std::vector<KivDataRun> runs =
            bGuessed ? m_pRuns->DeletedRuns(nFirst, e.m_nSize) : m_pRuns->ChainRuns(nFirst, e.m_nSize);
        CKivCompactRunList list;
        for (const KivDataRun& r : runs) list.Append(r.nStart, r.nLength);
        pAttr->SetRuns(std::move(list));
        MarkUsed(runs);
        uint8_t nState = pAttr->GetRecordState();
        if (RunsPastDeviceEnd(runs)) nState |= KIV_REC_DAMAGED;
        // Deleting freed the first cluster: allocated again, it holds another file's data, and the
        // free clusters guessed after it cannot be the file's start.
        uint32_t nFirstEntry = m_pRuns->GetEntry(nFirst);
        if (bGuessed && e.m_nSize && nFirstEntry != KIV_FAT_FREE && nFirstEntry != KIV_FAT_BAD) nState |= KIV_REC_REUSED;
        pAttr->SetRecordState(nState);
        if (bDeleted) m_deletedFiles.push_back(pAttr);
        if (bDeleted && bGuessed) m_guessed.insert(pAttr);
        else if (m_bLiveMap)
            for (const KivDataRun& r : runs) m_live.SetUsed(r.nStart, r.nLength);
    }

    if (bDir && nFirst >= 2) {
        if (IKivFileNode* pNew = RegisterDir(pDir, pAttr, nFirst, bRecycle || KivIsRecycleBinName(strName.c_str())))
            pDir->AddChild(pNew);
        return;
    }
    IKivFileNode* pNode = KivNewFileNode(pAttr);
    if (bDir) {
        pDir->AddChild(pNode);
        return;
    }
    pDir->AddChild(pNode);
    if (bRecycle && (KivIsRecycleInfoName(strName.c_str()) || KivIsRecycleDataName(strName.c_str()))) {
        if (IKivFileNode* pPartner = KivTakeRecyclePartner(strName.c_str(), pRecycleCands)) {
            KivJoinRecyclePair(pNode, pPartner, [this](IKivFileNode* p, uint8_t* b, size_t n) {
                return ReadNodeData(p, b, n);
            });
        } else {
            pRecycleCands->push_back(pNode);
        }
    }
}

IKivFileNode* CKivFatTreeBuilder::RegisterDir(IKivFileNode* pDir, IKivFileAttr* pAttr, uint32_t nCluster,
                                              bool bRecycle) {
    auto it = m_dirs.find(nCluster);
    if (it == m_dirs.end()) {
        IKivFileNode* pNew = KivNewFileNode(pAttr);
        m_dirs[nCluster] = pNew;
        if (bRecycle) m_recycleDirs.insert(nCluster);
        m_queue.push_back({nCluster, false});
        return pNew;
    }
    IKivFileNode* pOld = it->second;
    uint8_t nOld = StateOf(pOld), nNew = pAttr->GetRecordState();
    bool bTakeNew;
    if (!(nOld & KIV_REC_DELETED)) bTakeNew = false;
    else if (nOld & KIV_REC_RECONSTRUCTED) bTakeNew = !(nNew & KIV_REC_RECONSTRUCTED);
    else if (!(nNew & KIV_REC_DELETED)) bTakeNew = true;
    else if (nNew & KIV_REC_RECONSTRUCTED) bTakeNew = false;
    else bTakeNew = pAttr->GetModificationTime() > pOld->GetAttr()->GetModificationTime();
    // A folder never takes the place of one of its own ancestors: that would hang the tree on itself.
    if (bTakeNew && IsAncestorOrSelf(pOld, pDir)) bTakeNew = false;
    if (!bTakeNew) {
        delete pAttr;
        return nullptr;
    }
    if (bRecycle) {
        pOld->SetAttr(pAttr);
        return nullptr;
    }
    IKivFileNode* pNew = KivNewFileNode(pAttr);
    while (IKivFileNode* pChild = pOld->GetFirstChild()) {
        pOld->RemoveChild(pChild);
        pNew->AddChild(pChild);
    }
    if (IKivFileNode* pParent = pOld->GetParent()) {
        if (pParent->RemoveChild(pOld)) pOld->Release();
    }
    m_dirs[nCluster] = pNew;
    return pNew;
}

void CKivFatTreeBuilder::ReconstructDirs() {
    if (!m_pDirSectors || Cancelled()) return;
    auto clusterAt = [this](uint64_t nSector, uint32_t* pCluster) {
        if (nSector < m_nDataStart || (nSector - m_nDataStart) % m_nSecPerClus) return false;
        uint64_t c = (nSector - m_nDataStart) / m_nSecPerClus + 2;
        if (!m_pRuns->IsDataCluster(c)) return false;
        *pCluster = static_cast<uint32_t>(c);
        return true;
    };
    auto newDir = [](const char* pszName) { return KivNewDirNode(KIV_ATTR_FAT, pszName, KIV_REC_DELETED | KIV_REC_RECONSTRUCTED); };

    size_t nDone = 0;
    for (const KivFatDirSectorRec& r : *m_pDirSectors) {
        uint32_t c;
        if ((++nDone & 1023) == 0 && Cancelled()) return;
        if (r.nCluster < 0 || !clusterAt(r.nSector, &c) || uint64_t(r.nCluster) != c || m_dirs.count(c)) continue;
        if (!NodeBudget()) break;
        IKivFileNode* pDir = newDir(KivNextReconstructedDirName().c_str());
        static_cast<CKivFileAttrFAT*>(pDir->GetAttr())->SetScannerValues(c, 0xFFFFFFFFu);
        m_pRoot->AddChild(pDir);
        m_dirs[c] = pDir;
        m_queue.push_back({c, false});
        WalkQueue();
    }

    IKivFileNode* pLost = KivNewLostDir(KIV_ATTR_FAT);
    m_pRoot->AddChild(pLost);
    for (const KivFatDirSectorRec& r : *m_pDirSectors) {
        uint32_t c;
        if ((++nDone & 1023) == 0 && Cancelled()) return;
        if (r.nCluster >= 0 || !clusterAt(r.nSector, &c) || m_dirClusters.count(c) || m_dirs.count(c)) continue;
        if (!NodeBudget()) break;
        IKivFileNode* pDir = newDir(KivNextReconstructedDirName().c_str());
        pLost->AddChild(pDir);
        m_dirs[c] = pDir;
        m_queue.push_back({c, true});
        WalkQueue();
    }
}

bool CKivFatTreeBuilder::RunsPastDeviceEnd(const std::vector<KivDataRun>& runs) const {
    uint64_t nDev = m_pDev->GetSectorCount();
    for (const KivDataRun& r : runs) {
        uint64_t nEnd;
        if (KivMulOverflows(r.nStart + r.nLength, uint64_t(m_nSecPerClus), &nEnd) || KivAddOverflows(nEnd, m_nDataStart, &nEnd) ||
            nEnd > nDev)
            return true;
    }
    return false;
}

void CKivFatTreeBuilder::MarkUsed(const std::vector<KivDataRun>& runs) {
    if (!m_bUsedMap) return;
    for (const KivDataRun& r : runs) m_used.SetUsed(r.nStart, r.nLength);
}

void CKivFatTreeBuilder::MarkReused() {
    if (!m_bLiveMap) return;
    // A chain left in a deleted folder (never freed, so followed as it stands) may now run through
    // a live entry's clusters.
    for (CKivFileAttrFAT* pAttr : m_deletedFiles) {
        std::unique_ptr<IDataRunList> list(pAttr->GetDataRunList());
        bool bReused = false;
        for (const KivDataRun* r = list ? list->First() : nullptr; r && !bReused; r = list->Next())
            bReused = r->nStart != KIV_SPARSE_RUN && m_live.AnyUsed(r->nStart, r->nLength);
        if (bReused) pAttr->SetRecordState(pAttr->GetRecordState() | KIV_REC_REUSED);
    }
}

void CKivFatTreeBuilder::CheckDeletedContent() {
    if (m_deletedFiles.empty() || !m_pRuns->HasTable()) return;
    const uint64_t K = uint64_t(m_nSecPerClus) * m_nSectorSize;
    CKivFragmentJoiner joiner(
        [this](uint64_t c, uint64_t n, uint8_t* p) {
            uint64_t nSecs = n * m_nSecPerClus, nFirst = m_nDataStart + c * m_nSecPerClus;
            uint64_t nDev = m_pDev->GetSectorCount();
            return nFirst < nDev && nSecs <= nDev - nFirst && m_pDev->ReadSectors(p, nFirst, nSecs) != 0;
        },
        [this](uint64_t c) { return m_pRuns->GetEntry(static_cast<uint32_t>(c + 2)) == KIV_FAT_FREE; },
        m_nDataClusters, K);
    std::map<uint64_t, uint64_t> extents;
    for (CKivFileAttrFAT* a : m_guessed)
        if (a->GetSize() && a->GetFirstCluster() >= 2) extents[a->GetFirstCluster() - 2] = (a->GetSize() + K - 1) / K;
    joiner.SetDeletedExtents(std::move(extents));
    CKivFragmentJoiner::Budget budget(kContentCheckTime);
    if (m_pCallback && m_pCallback->SetPhase("Checking the content of deleted files", m_deletedFiles.size()) == -1)
        m_bCancelled = true;
    uint64_t nDone = 0, nJoined = 0, nBroken = 0;
    for (CKivFileAttrFAT* pAttr : m_deletedFiles) {
        if (Cancelled()) return;
        if (m_pCallback && m_pCallback->SetProgress(++nDone) == -1) m_bCancelled = true;
        if (pAttr->GetRecordState() & (KIV_REC_REUSED | KIV_REC_DAMAGED)) continue;
        auto res = KivCheckDeletedAttr(&joiner, pAttr, m_guessed.count(pAttr) != 0, &budget);
        if (res.kind == CKivFragmentJoiner::Result::kJoined) {
            MarkUsed(res.runs);
            ++nJoined;
        }
        nBroken += res.kind == CKivFragmentJoiner::Result::kBroken;
    }
    if (m_pCallback) m_pCallback->OnPhaseEnd();
    if (nJoined || nBroken)
        KivLogA(0, "FAT: %llu deleted files joined from their pieces, %llu with content that breaks",
                static_cast<unsigned long long>(nJoined), static_cast<unsigned long long>(nBroken));
}

void CKivFatTreeBuilder::AddRawTree() {
    if (!m_bUsedMap) return;
    for (uint32_t c : m_dirClusters) m_used.SetUsed(c - 2);
    if (IKivFileNode* pRaw = BuildRawTree(&m_used, m_pCallback, m_pDev, m_pRawList)) m_pRoot->AddChild(pRaw);
}

void CKivFatTreeBuilder::Tidy() { KivRemoveEmptyDeletedDirs(m_pRoot); }

size_t CKivFatTreeBuilder::ReadNodeData(IKivFileNode* pNode, uint8_t* pBuf, size_t nLen) {
    IKivFileAttr* a = pNode ? pNode->GetAttr() : nullptr;
    std::unique_ptr<IDataRunList> pRuns(a ? a->GetDataRunList() : nullptr);
    if (!pRuns) return 0;
    nLen = static_cast<size_t>(std::min<uint64_t>(nLen, a->GetSize()));
    size_t nDone = 0;
    std::vector<uint8_t> buf;
    for (const KivDataRun* r = pRuns->First(); r && nDone < nLen; r = pRuns->Next()) {
        if (r->nStart == KIV_SPARSE_RUN) break;
        uint64_t nBytes = r->nLength * m_nSecPerClus * uint64_t(m_nSectorSize);
        uint64_t nTake = std::min<uint64_t>(nBytes, nLen - nDone);
        uint64_t nSecs = (nTake + m_nSectorSize - 1) / m_nSectorSize;
        if (!ReadSectors(&buf, m_nDataStart + r->nStart * m_nSecPerClus, nSecs)) break;
        std::copy_n(buf.begin(), nTake, pBuf + nDone);
        nDone += nTake;
    }
    return nDone;
}
