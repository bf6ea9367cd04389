#include "Ntfs/CKivNtfsTreeBuilder.h"

#include <algorithm>
#include <deque>
#include <map>

#include "KivByteReader.h"
#include "KivLog.h"
#include "Model/CClusterUseBitMap.h"
#include "Model/CKivCompactRunList.h"
#include "Model/CKivFileAttrNTFS.h"
#include "Model/KivEngineFilter.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivNtfsRecordRead.h"
#include "Model/KivPartName.h"
#include "Model/KivPumpedWork.h"
#include "Model/KivRecycleBin.h"
#include "Ntfs/CKivNtfsFileRecord.h"
#include "Ntfs/KivNtfsPartSlots.h"
#include "Raw/KivRawTree.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint32_t kRootRecord = 5;
constexpr uint32_t kVolumeRecord = 3;
constexpr uint32_t kBitmapRecord = 6;
constexpr uint32_t kFirstUserRecord = 24;  // records up to here are reserved for the system
constexpr uint64_t kMaxRecords = 64ull << 20;
constexpr size_t kReadChunk = 1 << 20;
constexpr uint64_t kMaxListBytes = 1 << 20;  // an attribute list far larger than any real one
constexpr uint16_t kDataCompressed = 0x0001, kDataEncrypted = 0x4000, kDataSparse = 0x8000;
constexpr uint32_t kFnDirectory = 0x10000000;

}  // namespace

// Bytes the runs cover, saturating: run lengths come from disk.
uint64_t CKivNtfsTreeBuilder::RunBytes(const std::vector<KivNtfsRun>& runs) const {
    uint64_t bytes;
    if (KivMulOverflows(KivNtfsRunClusters(runs), uint64_t(m_nSecPerClus) * m_nSectorSize, &bytes)) return ~0ull;
    return bytes;
}

CKivNtfsTreeBuilder::CKivNtfsTreeBuilder(CKivScanNTFSPartInfo* pPart, IKivDevStor* pDev, CRawFileList* pRawList)
    : CKivTreeBuilderBase("CKivNtfsTreeBuilder", pDev, pRawList, nullptr, 0), m_pPart(pPart) {
    m_nSectorSize = pDev->GetSectorSize();
    if (m_nSectorSize == 0 || m_nSectorSize % 512) m_nSectorSize = 512;
    const uint32_t nFullSpc = pPart->m_aValues32[KivNtfsSlot::kSecPerClus];
    m_nSecPerClus = std::max<uint32_t>(1, nFullSpc ? nFullSpc : pPart->m_nSecPerClus);
    m_nBase = pPart->m_nDataStart;
    m_nClusters = pPart->m_nSectorCount / m_nSecPerClus;
    // A volume cut by the end of the medium keeps its own size: its runs may point past the cut,
    // and what lies there is missing rather than never there.
    constexpr uint64_t kMaxClusters = 1ull << 48;
    uint64_t volClusters = pPart->m_aValues64[KivNtfsSlot::kVolumeClusters];
    m_nVolumeClusters = volClusters != ~0ull && volClusters > m_nClusters ? std::min(volClusters, kMaxClusters) : m_nClusters;
    uint32_t stated = pPart->m_aValues32[KivNtfsSlot::kRecordBytes];
    m_nRecordBytes = stated ? stated : (m_nSectorSize == 512 ? 1024 : m_nSectorSize);
}

CKivNtfsTreeBuilder::~CKivNtfsTreeBuilder() = default;

IKivFsNode* CKivNtfsTreeBuilder::Run(uint32_t nNameBase, IKivEnumResFilesCallback* pCallback) {
    m_nNameBase = nNameBase;
    m_pCallback = pCallback;
    return KivBuildPumped("CKivNtfsTreeBuilder::Run", [this] { return Build(); });
}

bool CKivNtfsTreeBuilder::ReadRecordAt(uint64_t nSector, CKivNtfsFileRecord* pRec) {
    return ReadRecordAt(nSector, m_nRecordBytes, pRec);
}

bool CKivNtfsTreeBuilder::ReadRecordAt(uint64_t nSector, uint32_t nBytes, CKivNtfsFileRecord* pRec) {
    uint64_t nSecs = (nBytes + m_nSectorSize - 1) / m_nSectorSize;
    if (nSector >= m_pDev->GetSectorCount() || nSecs > m_pDev->GetSectorCount() - nSector) return false;
    std::vector<uint8_t> buf(nSecs * m_nSectorSize);
    if (!m_pDev->ReadSectors(buf.data(), nSector, nSecs)) return false;
    return pRec->Parse(buf);
}

// The value of an $ATTRIBUTE_LIST, at most kMaxListBytes of it: a non-resident list is read run by
// run, never more than what is still wanted, whatever length its runs state.
bool CKivNtfsTreeBuilder::ReadAttributeList(const KivNtfsAttr& a, std::vector<uint8_t>* pOut) {
    pOut->clear();
    if (!a.bNonResident) {
        pOut->assign(a.value.begin(), a.value.begin() + std::min<size_t>(a.value.size(), kMaxListBytes));
        return true;
    }
    std::vector<KivNtfsRun> runs;
    KivNtfsDecodeRuns(a.mappingPairs, 0, m_nClusters, &runs);
    const uint64_t want = std::min<uint64_t>(a.nRealSize, kMaxListBytes);
    for (const auto& r : runs) {
        if (pOut->size() >= want || r.nLcn == KIV_NTFS_SPARSE) break;
        uint64_t runSectors;
        if (KivMulOverflows(r.nLength, m_nSecPerClus, &runSectors)) break;
        uint64_t left = want - pOut->size();
        uint64_t n = std::min<uint64_t>(runSectors, (left + m_nSectorSize - 1) / m_nSectorSize);
        size_t old = pOut->size();
        pOut->resize(old + n * m_nSectorSize);
        if (!m_pDev->ReadSectors(pOut->data() + old, m_nBase + r.nLcn * m_nSecPerClus, n)) {
            pOut->resize(old);
            break;
        }
    }
    if (pOut->size() > want) pOut->resize(want);
    return !pOut->empty();
}

CKivNtfsTreeBuilder::Entry* CKivNtfsTreeBuilder::FindEntry(uint32_t nKey) {
    auto it = m_index.find(nKey);
    return it == m_index.end() ? nullptr : &m_entries[it->second];
}

// The MFT's own data runs, from the $MFT record (or its mirror), following an attribute list into
// extension records when the MFT is too fragmented for one record.
bool CKivNtfsTreeBuilder::LoadMftRuns(std::vector<KivNtfsRun>* pRuns, uint64_t* pMftBytes) {
    CKivNtfsFileRecord rec;
    uint64_t mftSector = 0;
    bool found = false;
    for (uint64_t cluster :
         {m_pPart->m_aValues64[KivNtfsSlot::kMftCluster], m_pPart->m_aValues64[KivNtfsSlot::kMirrCluster]}) {
        if (cluster == ~0ull || cluster >= m_nClusters) continue;
        mftSector = m_nBase + cluster * m_nSecPerClus;
        if (ReadRecordAt(mftSector, &rec) && rec.SystemName() == u"$MFT") {
            found = true;
            break;
        }
    }
    if (!found) return false;
    m_nRecordBytes = rec.GetAllocatedBytes();

    std::vector<std::pair<uint64_t, std::vector<KivNtfsRun>>> extents;
    *pMftBytes = 0;
    auto takeData = [&](const CKivNtfsFileRecord& r) {
        for (const auto& a : r.Attributes()) {
            if (a.nType != KIV_NTFS_AT_DATA || !a.bNonResident || !a.name.empty()) continue;
            std::vector<KivNtfsRun> runs;
            KivNtfsDecodeRuns(a.mappingPairs, a.nStartVcn, m_nVolumeClusters, &runs);
            if (a.nStartVcn == 0) *pMftBytes = a.nRealSize;
            extents.emplace_back(a.nStartVcn, std::move(runs));
        }
    };
    takeData(rec);

    for (const auto& a : rec.Attributes()) {
        if (a.nType != KIV_NTFS_AT_ATTRIBUTE_LIST) continue;
        KivLogW(0, L"NTFS scan MFT record 0x20 attribute, First sector is %lld\n", (long long)mftSector);
        std::vector<uint8_t> listBytes;
        if (!ReadAttributeList(a, &listBytes)) continue;
        std::vector<KivNtfsListEntry> entries;
        CKivNtfsFileRecord::DecodeAttributeList(listBytes, &entries);
        // Extension records are found through the runs known so far (the first extent).
        std::vector<KivNtfsRun> known;
        for (auto& [vcn, runs] : extents) known.insert(known.end(), runs.begin(), runs.end());
        std::sort(known.begin(), known.end(), [](const KivNtfsRun& x, const KivNtfsRun& y) { return x.nVcn < y.nVcn; });
        uint64_t clusterBytes = uint64_t(m_nSecPerClus) * m_nSectorSize;
        std::vector<uint64_t> seen;
        for (const auto& e : entries) {
            uint64_t num = e.nRecordRef & KIV_NTFS_REF_MASK;
            if (e.nType != KIV_NTFS_AT_DATA || !e.name.empty() || num == 0) continue;
            if (std::find(seen.begin(), seen.end(), num) != seen.end()) continue;
            seen.push_back(num);
            uint64_t byteOff = num * m_nRecordBytes, lcn;
            if (!KivNtfsVcnToLcn(known, byteOff / clusterBytes, &lcn)) continue;
            CKivNtfsFileRecord ext;
            uint64_t sector = m_nBase + lcn * m_nSecPerClus + (byteOff % clusterBytes) / m_nSectorSize;
            if (ReadRecordAt(sector, &ext)) takeData(ext);
        }
    }
    std::sort(extents.begin(), extents.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    pRuns->clear();
    for (auto& [vcn, runs] : extents) pRuns->insert(pRuns->end(), runs.begin(), runs.end());
    return !pRuns->empty() && *pMftBytes >= m_nRecordBytes;
}

// Streams the MFT run by run; records that cross a run border are joined in the pending buffer.
bool CKivNtfsTreeBuilder::ReadAllRecords(const std::vector<KivNtfsRun>& runs, uint64_t nMftBytes) {
    // The stated MFT size is only believed as far as its runs (checked against the volume) reach.
    uint64_t runBytes = RunBytes(runs);
    uint64_t nRecords = std::min<uint64_t>(std::min(nMftBytes, runBytes) / m_nRecordBytes, kMaxRecords);
    m_entries.clear();
    m_index.clear();
    std::vector<uint8_t> pending;
    pending.reserve(kReadChunk + m_nRecordBytes);
    uint64_t next = 0;  // number of the next record to take
    uint64_t step = 0;
    for (const auto& run : runs) {
        uint64_t runSectors = run.nLength * m_nSecPerClus;
        for (uint64_t done = 0; done < runSectors && next < nRecords;) {
            uint64_t n = std::min<uint64_t>(runSectors - done, kReadChunk / m_nSectorSize);
            size_t old = pending.size();
            pending.resize(old + n * m_nSectorSize, 0);
            uint64_t sector = m_nBase + run.nLcn * m_nSecPerClus + done;
            bool ok = run.nLcn != KIV_NTFS_SPARSE && m_pDev->ReadSectors(pending.data() + old, sector, n);
            if (!ok) std::fill(pending.begin() + old, pending.end(), 0);
            // Remember where each whole record starts on the device, for resident data.
            size_t take = pending.size() / m_nRecordBytes;
            for (size_t i = 0; i < take && next < nRecords; ++i, ++next) {
                uint64_t recOff = i * m_nRecordBytes;  // inside pending
                CKivNtfsFileRecord rec;
                if (!rec.Parse({pending.data() + recOff, m_nRecordBytes})) continue;
                // A record crossing runs has no single place; its resident data is then not served.
                uint64_t recSector = ~0ull;
                if (recOff >= old) recSector = sector + (recOff - old) / m_nSectorSize;
                TakeRecord(uint32_t(next), rec, recSector, uint32_t(next));
            }
            pending.erase(pending.begin(), pending.begin() + take * m_nRecordBytes);
            done += n;
            if (++step % 16 == 0 && (Cancelled() || !Progress(next))) return false;
        }
        if (next >= nRecords) break;
    }
    return true;
}

void CKivNtfsTreeBuilder::TakeRecord(uint32_t nNumber, const CKivNtfsFileRecord& rec, uint64_t nSector,
                                     uint32_t nKey) {
    uint64_t base = rec.GetBaseRef() & KIV_NTFS_REF_MASK;
    if (base != 0) {
        // An extension record: its $DATA extents belong to the base record it names, if that
        // record is still the one it was written for (see Build).
        const uint16_t baseSeq = uint16_t(rec.GetBaseRef() >> 48);
        for (const auto& a : rec.Attributes()) {
            if (a.nType != KIV_NTFS_AT_DATA || !a.bNonResident || !a.name.empty()) continue;
            std::vector<KivNtfsRun> runs;
            KivNtfsDecodeRuns(a.mappingPairs, a.nStartVcn, m_nVolumeClusters, &runs);
            if (m_extents.size() < kMaxRecords) m_extents[base].push_back({a.nStartVcn, baseSeq, std::move(runs)});
        }
        return;
    }
    Entry e;
    e.bInUse = rec.IsInUse();
    e.nRef = uint64_t(nNumber) | (uint64_t(rec.GetSequence()) << 48);

    KivNtfsFileName fn[2];
    int nNames = 0;
    KivNtfsStdInfo si;
    bool haveSi = false;
    for (const auto& a : rec.Attributes()) {
        if (a.nType == KIV_NTFS_AT_FILE_NAME && nNames < 2) {
            if (CKivNtfsFileRecord::DecodeFileName(a, &fn[nNames])) ++nNames;
        } else if (a.nType == KIV_NTFS_AT_STANDARD_INFORMATION && !haveSi) {
            haveSi = CKivNtfsFileRecord::DecodeStdInfo(a, &si);
        } else if (a.nType == KIV_NTFS_AT_VOLUME_NAME && nNumber == kVolumeRecord && !a.bNonResident) {
            std::u16string label;
            for (size_t i = 0; i + 1 < a.value.size() && label.size() < 100; i += 2)
                label.push_back(char16_t(a.value[i] | a.value[i + 1] << 8));
            m_strLabel = KivNtfsNameToUtf8(label);
        } else if (a.nType == KIV_NTFS_AT_DATA && a.name.empty()) {
            e.bHasData = true;
            if (a.nFlags & kDataEncrypted) e.nAttributes |= KIV_FA_ENCRYPTED;
            else if (a.nFlags & kDataCompressed) e.nAttributes |= KIV_FA_COMPRESSED;
            if (a.nFlags & kDataSparse) e.nAttributes |= KIV_FA_SPARSE;
            if (!a.bNonResident) {
                e.bResident = nSector != ~0ull;
                e.nResidentSector = nSector - m_nBase;
                e.nResidentOffset = uint16_t(a.nValueOffset);
                e.nSize = a.value.size();
            } else {
                KivNtfsDecodeRuns(a.mappingPairs, a.nStartVcn, m_nVolumeClusters, &e.runs);
                e.nSize = std::max(e.nSize, a.nRealSize);
                e.nAllocated = std::max(e.nAllocated, a.nAllocatedSize);
                if (nNumber == kBitmapRecord) m_nBitmapBytes = a.nRealSize;
            }
        } else if (a.nType == KIV_NTFS_AT_LOGGED_UTILITY_STREAM && a.name == u"$EFS" && !e.bEfs) {
            if (!a.bNonResident) {
                e.bEfs = e.bEfsResident = nSector != ~0ull;
                e.nEfsSector = nSector - m_nBase;
                e.nEfsOffset = uint16_t(a.nValueOffset);
                e.nEfsSize = a.value.size();
            } else {
                KivNtfsDecodeRuns(a.mappingPairs, a.nStartVcn, m_nClusters, &e.efsRuns);
                e.nEfsSize = a.nRealSize;
                e.bEfs = !e.efsRuns.empty();
            }
        }
    }
    if (nNames == 0) return;
    const KivNtfsFileName& chosen = (nNames == 2 && fn[1].nNamespace == 1) ? fn[1] : fn[0];
    uint64_t parent = chosen.nParentRef & KIV_NTFS_REF_MASK;
    uint64_t p0 = fn[0].nParentRef & KIV_NTFS_REF_MASK, p1 = fn[1].nParentRef & KIV_NTFS_REF_MASK;
    // Two names in two folders are hard links: the name and its folder must come from one link.
    bool sameFolder = nNames == 2 && (p0 == p1 || p0 < kRootRecord || p1 < kRootRecord);
    if (sameFolder && p1 >= kRootRecord)
        parent = p1;
    else if (sameFolder && p0 >= kRootRecord)
        parent = p0;
    e.name = KivNtfsNameToUtf8(chosen.name);
    if (e.name.empty() || parent > 0xFFFFFFFFull) return;
    e.nParent = uint32_t(parent);
    e.bDir = rec.IsDirectory() || (chosen.nFlags & kFnDirectory);
    e.nCTime = chosen.nCTime;
    e.nMTime = chosen.nMTime;
    e.nATime = chosen.nATime;
    uint16_t attrs = uint16_t(chosen.nFlags & 0xFFFF);
    if (haveSi) {
        e.nCTime = si.nCTime;
        e.nMTime = si.nMTime;
        e.nATime = si.nATime;
        attrs = uint16_t(si.nAttributes & 0xFFFF);
    }
    // The data flags are taken from the $DATA attribute itself, not from the copies in the headers.
    e.nAttributes = uint16_t((attrs & ~(KIV_FA_COMPRESSED | KIV_FA_ENCRYPTED | KIV_FA_SPARSE)) | e.nAttributes);
    if (e.bDir) e.nAttributes |= KIV_FA_DIRECTORY;
    if (nNumber == kBitmapRecord) m_bitmapRuns = e.runs;
    if (m_index.emplace(nKey, uint32_t(m_entries.size())).second) m_entries.push_back(std::move(e));
}

bool CKivNtfsTreeBuilder::CanBuild() {
    std::vector<KivNtfsRun> runs;
    uint64_t bytes = 0;
    return m_nClusters != 0 && (LoadMftRuns(&runs, &bytes) || NumberedFoundRecords() >= kMinFoundRecords);
}

size_t CKivNtfsTreeBuilder::NumberedFoundRecords() const {
    size_t n = 0;
    for (const auto& r : m_found)
        if (r.nNumber != 0xFFFFFFFF && ++n >= kMinFoundRecords) break;
    return n;
}

bool CKivNtfsTreeBuilder::ReadFoundRecords() {
    // A record number can be found more than once (the mirror, an older copy left by a move):
    // the copy with the highest sequence number is the latest.
    struct Pick {
        uint64_t nSector;
        uint32_t nBytes;
        uint16_t nSequence;
    };
    std::map<uint32_t, Pick> numbered;
    std::vector<Pick> unnumbered;
    CKivNtfsFileRecord rec;
    size_t step = 0;
    for (const auto& r : m_found) {
        if (++step % 4096 == 0 && (Cancelled() || !Progress(step / 2))) return false;
        if (!ReadRecordAt(r.nSector, r.nBytes, &rec)) continue;
        Pick pick{r.nSector, r.nBytes, rec.GetSequence()};
        uint32_t num = rec.GetRecordNumber();
        if (num == 0xFFFFFFFF) {
            unnumbered.push_back(pick);
            continue;
        }
        auto [it, added] = numbered.emplace(num, pick);
        if (!added && pick.nSequence > it->second.nSequence) it->second = pick;
    }

    // Entries are kept densely: the system records keep their numbers (the root is 5), the others
    // follow in number order, and parent references are turned into these places.
    std::unordered_map<uint32_t, uint32_t> place;
    uint32_t next = kFirstUserRecord + 1;
    for (const auto& [num, pick] : numbered) place[num] = num <= kFirstUserRecord ? num : next++;
    m_entries.clear();
    m_index.clear();
    for (const auto& [num, pick] : numbered) {
        if (++step % 4096 == 0 && Cancelled()) return false;
        if (ReadRecordAt(pick.nSector, pick.nBytes, &rec)) TakeRecord(num, rec, pick.nSector, place[num]);
    }
    for (const Pick& pick : unnumbered)
        if (ReadRecordAt(pick.nSector, pick.nBytes, &rec)) TakeRecord(0xFFFFFFFF, rec, pick.nSector, next++);

    for (Entry& e : m_entries) {
        if (e.nParent <= kFirstUserRecord) continue;
        auto it = place.find(e.nParent);
        e.nParent = it == place.end() ? UINT32_MAX : it->second;
    }
    decltype(m_extents) extents;
    for (auto& [base, exts] : m_extents) {
        if (base > UINT32_MAX) continue;  // names no record that was found
        if (auto it = place.find(uint32_t(base)); it != place.end()) extents[it->second] = std::move(exts);
    }
    m_extents = std::move(extents);
    return true;
}

bool CKivNtfsTreeBuilder::IsReused(const Entry& e, CClusterUseBitMap* pUsed) {
    if (e.bInUse || e.bDir || e.bResident) return false;
    for (const auto& r : e.runs)
        if (r.nLcn != KIV_NTFS_SPARSE && pUsed->AnyUsed(r.nLcn, r.nLength)) return true;
    return false;
}

IKivFileAttr* CKivNtfsTreeBuilder::MakeAttr(const Entry& e, bool bReused) {
    auto* a = new CKivFileAttrNTFS();
    a->SetName(e.name.c_str());
    uint64_t size = e.bDir ? 0 : e.nSize;
    uint16_t attrs = e.nAttributes;
    if ((attrs & KIV_FA_ENCRYPTED) && (attrs & KIV_FA_COMPRESSED)) attrs &= uint16_t(~KIV_FA_COMPRESSED);
    if (!e.bDir && !e.bResident && !e.runs.empty()) {
        uint64_t allocated = RunBytes(e.runs);
        if (size > allocated) size = allocated;
        if (size == 0) size = allocated;
    }
    a->SetSize(size);
    a->SetAttributes(attrs);
    a->SetTimes(e.nCTime, e.nMTime, e.nATime);
    bool bDamaged = e.bShort;
    for (const auto& r : e.runs)
        if (r.nLcn != KIV_NTFS_SPARSE && (r.nLcn >= m_nClusters || r.nLength > m_nClusters - r.nLcn)) bDamaged = true;
    a->SetRecordState(uint8_t((e.bInUse ? 0 : KIV_REC_DELETED) | (bDamaged && !e.bDir ? KIV_REC_DAMAGED : 0) |
                              (bReused ? KIV_REC_REUSED : 0)));
    a->SetRecordRef(e.nRef);
    if (!e.bDir) {
        CKivCompactRunList runs;
        if (e.bResident) {
            runs.Append(e.nResidentSector, e.nSize);
            runs.SetResidentValue(e.nResidentOffset);
            a->SetRuns(std::move(runs));
        } else if (!e.runs.empty()) {
            for (const auto& r : e.runs) runs.Append(r.nLcn == KIV_NTFS_SPARSE ? KIV_SPARSE_RUN : r.nLcn, r.nLength);
            a->SetRuns(std::move(runs));
        }
        // Recovery needs the key stream to rebuild an encrypted file.
        if (e.bEfs && e.bEfsResident) {
            a->SetEfsResident(e.nEfsSector, e.nEfsOffset, static_cast<uint32_t>(e.nEfsSize));
        } else if (e.bEfs) {
            std::vector<KivDataRun> efs;
            for (const auto& r : e.efsRuns) efs.push_back({r.nLcn == KIV_NTFS_SPARSE ? KIV_SPARSE_RUN : r.nLcn, r.nLength});
            a->SetEfsRuns(efs, e.nEfsSize);
        }
    }
    return a;
}

void CKivNtfsTreeBuilder::FillClusterMap(CClusterUseBitMap* pMap) {
    pMap->Init(m_nBase, m_nSecPerClus, m_nClusters);
    uint64_t want = std::min<uint64_t>(m_nBitmapBytes, (m_nClusters + 7) / 8);
    if (want && !m_bitmapRuns.empty()) {
        std::vector<uint8_t> bits;
        bits.reserve(want);
        for (const auto& r : m_bitmapRuns) {
            if (bits.size() >= want) break;
            uint64_t secs = r.nLength * m_nSecPerClus;
            for (uint64_t done = 0; done < secs && bits.size() < want;) {
                uint64_t n = std::min<uint64_t>(secs - done, kReadChunk / m_nSectorSize);
                size_t old = bits.size();
                bits.resize(old + n * m_nSectorSize, 0);
                if (r.nLcn == KIV_NTFS_SPARSE ||
                    !m_pDev->ReadSectors(bits.data() + old, m_nBase + r.nLcn * m_nSecPerClus + done, n))
                    std::fill(bits.begin() + old, bits.end(), 0xFF);  // unreadable: assume in use
                done += n;
            }
        }
        if (bits.size() >= want) {
            bits.resize(want);
            for (uint64_t b = 0; b < want; ++b) {
                if (bits[b] == 0) continue;
                if (bits[b] == 0xFF) {
                    pMap->SetUsed(b * 8, std::min<uint64_t>(8, m_nClusters - std::min(m_nClusters, b * 8)));
                    continue;
                }
                for (unsigned k = 0; k < 8; ++k)
                    if ((bits[b] >> k) & 1 && b * 8 + k < m_nClusters) pMap->SetUsed(b * 8 + k);
            }
        }
    }
    // Clusters of the files still in use count as used, with $Bitmap or without it (a stale or torn
    // $Bitmap must not offer a live file's clusters as free).
    for (const auto& e : m_entries)
        if (e.bInUse)
            for (const auto& r : e.runs)
                if (r.nLcn != KIV_NTFS_SPARSE) pMap->SetUsed(r.nLcn, r.nLength);
}

IKivFsNode* CKivNtfsTreeBuilder::Build() {
    std::vector<KivNtfsRun> mftRuns;
    uint64_t mftBytes = 0;
    if (m_nClusters == 0) return nullptr;
    bool ok;
    if (LoadMftRuns(&mftRuns, &mftBytes)) {
        if (!Phase("NTFS: reading the file records", mftBytes / m_nRecordBytes)) return nullptr;
        ok = ReadAllRecords(mftRuns, mftBytes);
    } else if (NumberedFoundRecords() >= kMinFoundRecords) {
        // Neither the MFT nor its mirror: the records the scan found inside the volume carry their
        // numbers, parents and runs, which is all a tree needs.
        KivLogA(0, "NTFS: no readable $MFT at sector %llu; building the tree from %zu records found",
                static_cast<unsigned long long>(m_nBase), m_found.size());
        if (!Phase("NTFS: reading the file records found", m_found.size())) return nullptr;
        ok = ReadFoundRecords();
    } else {
        return nullptr;
    }
    if (m_pCallback) m_pCallback->OnPhaseEnd();
    if (!ok) return nullptr;

    // Extents held in extension records join their base record's runs in VCN order. Only an
    // extension written for this use of the base record counts: its reference carries the base's
    // sequence number, which freeing the base record raises by one (skipping 0). An extension left
    // from an earlier use of the record would add another file's clusters.
    for (auto& [num, exts] : m_extents) {
        Entry* pEntry = num <= UINT32_MAX ? FindEntry(uint32_t(num)) : nullptr;
        if (!pEntry) continue;
        Entry& e = *pEntry;
        const uint16_t seq = uint16_t(e.nRef >> 48), freedFrom = seq == 1 ? 0xFFFF : uint16_t(seq - 1);
        for (auto& x : exts)
            if (x.nBaseSeq == seq || (!e.bInUse && x.nBaseSeq == freedFrom))
                e.runs.insert(e.runs.end(), x.runs.begin(), x.runs.end());
        std::sort(e.runs.begin(), e.runs.end(), [](const KivNtfsRun& x, const KivNtfsRun& y) { return x.nVcn < y.nVcn; });
        e.runs.erase(std::unique(e.runs.begin(), e.runs.end(),
                                 [](const KivNtfsRun& x, const KivNtfsRun& y) { return x.nVcn == y.nVcn; }),
                     e.runs.end());
        if (num == kBitmapRecord) m_bitmapRuns = e.runs;
    }
    // Runs past a missing extent would shift the rest of the file: the data ends at the first gap,
    // and a file whose runs end before its size is cut and marked damaged.
    for (Entry& e : m_entries) {
        if (e.bResident || e.runs.empty()) continue;
        uint64_t vcn = 0;
        size_t i = 0;
        for (; i < e.runs.size() && e.runs[i].nVcn == vcn; ++i) vcn += e.runs[i].nLength;
        e.runs.resize(i);
        e.bShort = RunBytes(e.runs) < e.nSize;
        if (&e == FindEntry(kBitmapRecord)) m_bitmapRuns = e.runs;
    }

    CKivFileAttrNTFS* pPartAttr = new CKivFileAttrNTFS();
    std::string label = m_strLabel.size() >= 1 && m_strLabel.size() <= 64 ? m_strLabel : std::string();
    pPartAttr->SetName(KivFormatPartName("NTFS", m_nNameBase + 1, 0, label.c_str()).c_str());
    pPartAttr->SetAttributes(KIV_FA_DIRECTORY);
    IKivFsNode* pPart = KivNewFsNode(pPartAttr);
    pPart->SetPartInfo(m_nBase, m_nSecPerClus);
    pPart->SetFsType(KIV_FS_NTFS);
    if (!label.empty()) pPart->SetLabel(label.c_str());

    // One node per kept record; directories always, files when the filter keeps their name.
    const CKivExtFilterEx& filter = KivEngineFilter();
    const size_t n = m_entries.size();
    auto positionOf = [&](uint32_t nKey) -> size_t {
        auto it = m_index.find(nKey);
        return it == m_index.end() ? SIZE_MAX : it->second;
    };
    CClusterUseBitMap used;
    FillClusterMap(&used);
    std::vector<IKivFileNode*> nodes(n, nullptr);
    std::vector<std::vector<uint32_t>> children(n);
    const size_t root = positionOf(kRootRecord);
    for (size_t i = 0; i < n; ++i) {
        const Entry& e = m_entries[i];
        if (i == root) continue;
        if (!filter.IsFileNameKept(e.name.c_str(), e.bDir)) continue;
        nodes[i] = KivNewFileNode(MakeAttr(e, IsReused(e, &used)));
        size_t p = positionOf(e.nParent);
        if (p != SIZE_MAX) children[p].push_back(uint32_t(i));
    }

    // Walk from the root, directory by directory; what is not reached is an orphan. Without a root
    // record (an MFT cut short) every record is an orphan.
    std::vector<uint8_t> placed(n, 0);
    std::deque<size_t> queue;
    if (root != SIZE_MAX) {
        placed[root] = 1;
        queue.push_back(root);
    }
    while (!queue.empty()) {
        size_t dir = queue.front();
        queue.pop_front();
        for (uint32_t c : children[dir]) {
            if (placed[c] || !nodes[c]) continue;
            placed[c] = 1;
            (dir == root ? static_cast<IKivFileNode*>(pPart) : nodes[dir])->AddChild(nodes[c]);
            if (m_entries[c].bDir) queue.push_back(c);
        }
    }

    // Orphan directories past the system records adopt the orphans that name them, never making a
    // cycle: the adopter must not already hang below the adoptee.
    std::vector<uint32_t> adoptedBy(n, UINT32_MAX);
    auto below = [&](uint32_t node, uint32_t ancestor) {
        for (uint32_t p = node, guard = 0; p != UINT32_MAX && guard < n; p = adoptedBy[p], ++guard)
            if (p == ancestor) return true;
        return false;
    };
    for (size_t i = 0; i < n; ++i) {
        if (!nodes[i] || placed[i]) continue;
        uint32_t parent = m_entries[i].nParent;
        size_t p = parent > kFirstUserRecord ? positionOf(parent) : SIZE_MAX;
        if (p != SIZE_MAX && p != i && nodes[p] && !placed[p] && m_entries[p].bDir && !below(uint32_t(p), uint32_t(i))) {
            adoptedBy[i] = uint32_t(p);
            nodes[p]->AddChild(nodes[i]);
        }
    }
    IKivFileNode* pLost = nullptr;
    for (size_t i = 0; i < n; ++i) {
        if (!nodes[i] || placed[i] || adoptedBy[i] != UINT32_MAX) continue;
        if (!pLost) pLost = KivNewLostDir(KIV_ATTR_NTFS, KIV_REC_RECONSTRUCTED, 1);
        pLost->AddChild(nodes[i]);
    }
    if (pLost) pPart->AddChild(pLost);

    // Files moved to the recycle bin get back the names their information entries record.
    KivPairRecycleBins(pPart, [this](IKivFileNode* p, uint8_t* pBuf, size_t nLen) {
        std::vector<uint8_t> head = KivReadNodeHead(p, m_pDev, nLen);
        std::copy(head.begin(), head.end(), pBuf);
        return head.size();
    });

    if (Cancelled()) {
        pPart->Release();
        return nullptr;
    }

    if (IKivFileNode* pRaw = BuildRawTree(&used, m_pCallback, m_pDev, m_pRawList)) pPart->AddChild(pRaw);

    if (!pPart->GetFirstChild()) {
        pPart->Release();
        return nullptr;
    }
    return pPart;
}
