#include "Raw/KivRawTree.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Analysers/KivAnalyserTable.h"
#include "KivLog.h"
#include "Model/CKivFileAttrRAW.h"
#include "Model/CRawFileInfo.h"
#include "Model/IIsClusterUsed.h"
#include "Model/KivNodeFactory.h"
#include "Model/KivScanSettings.h"
#include "Model/RawTypeTable.h"
#include "Raw/CKivFragmentJoiner.h"

namespace {

constexpr uint32_t kFilesPerFolder = 300;
constexpr uint32_t kMaxTypeIds = 2000;
constexpr int32_t kJpegAnalyserId = 33;
constexpr uint32_t kCustomTypeId = 74;
constexpr size_t kMaxTitleBytes = 200;  // leaves room for the number and the extension
constexpr const char* kProgressTitle = "Building the list of found files";
constexpr const char* kCheckTitle = "Checking the content of carved files";
// What the check of one scan's carved files may spend on joining, and how far a file's rest may
// lie from its first piece (4 MiB in 512-byte sectors).
constexpr std::chrono::milliseconds kJoinTime{60000};
constexpr uint64_t kMaxGapUnits = 8192;
// A join's rest may run this far past the measured end beyond as much again as the file
// measured: a measured end is where the first piece's format stopped making sense or an end
// marker met by chance in the data between the pieces.
constexpr uint64_t kRestSlack = 4u << 20;

std::string Format(const char* pszFormat, uint64_t a, uint64_t b) {
    char buf[48];
    std::snprintf(buf, sizeof(buf), pszFormat, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    return buf;
}

// Analyser texts come from the files themselves: keep them from making paths.
std::string SafeTitle(const std::string& title) {
    std::string s = KivUtf8Prefix(title, kMaxTitleBytes);
    for (char& c : s)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return s;
}

bool IsSelected(const KivScanSettings& settings, uint32_t nTypeId) {
    // Every user-defined type stands under the one selectable custom id.
    if (nTypeId >= RawTypeTable::kCustomFirst && nTypeId <= RawTypeTable::kCustomLast)
        return settings.IsTypeSelected(kCustomTypeId);
    return settings.IsTypeSelected(nTypeId);
}

// Per-type folders and running numbers of one build.
class CRawTreeBuilder {
public:
    explicit CRawTreeBuilder(IKivFileNode* pRoot) : m_pRoot(pRoot), m_types(kMaxTypeIds) {}

    // pJoined: the runs of a file joined from its pieces; nBreak: where the content of a file
    // that could not be joined breaks (0: none found).
    void AddFile(uint32_t nTypeId, const std::string& title, const std::string& detail, uint64_t nStart,
                 uint64_t nSize, uint8_t nDamage, const std::vector<KivDataRun>* pJoined = nullptr,
                 uint64_t nBreak = 0) {
        TypeState& t = m_types[nTypeId];
        RawTypeTable& table = RawTypeTable::Get();
        if (!t.pFolder) {
            std::string folder = table.GetFolderOrExt(nTypeId);
            t.pFolder = NewFolder(m_pRoot, folder.empty() ? Format("Type%llu", nTypeId, 0) : folder);
        }
        ++t.n;
        std::string ext = table.GetExt(nTypeId);
        char num[16];
        std::snprintf(num, sizeof(num), "%03u", t.n);
        std::string name = (title.empty() ? std::string("FILE") : SafeTitle(title)) + num + "." + ext;

        auto* pAttr = new CKivFileAttrRAW();
        pAttr->SetName(name.c_str());
        pAttr->SetTypeText(detail.c_str());
        pAttr->SetSize(nSize);
        pAttr->SetAttributes(KIV_FA_ARCHIVE);
        if (pJoined) {
            CKivCompactRunList runs;
            for (const KivDataRun& r : *pJoined) runs.Append(r.nStart, r.nLength);
            pAttr->SetRuns(std::move(runs));
            pAttr->SetRecordState(KIV_REC_JOINED);
        } else {
            pAttr->SetSectorRun(nStart, nSize);
            pAttr->SetDataDamage(KivCarveDamageText(nDamage));
            if (nBreak) pAttr->SetContentBreak(nBreak);
            if (nDamage != kCarveWhole || nBreak) pAttr->SetRecordState(KIV_REC_DAMAGED);
        }
        IKivFileNode* pNode = KivNewFileNode(pAttr);

        if (t.n > kFilesPerFolder && (t.n - 1) % kFilesPerFolder == 0) {
            uint64_t k = (t.n - 1) / kFilesPerFolder;
            t.pSub = NewFolder(t.pFolder, Format("%llu-%llu", k * kFilesPerFolder + 1, k * kFilesPerFolder + kFilesPerFolder));
        }
        (t.pSub ? t.pSub : t.pFolder)->AddChild(pNode);
        if (t.n == kFilesPerFolder) MoveFirstFilesIntoSubfolder(t);
    }

    // The newest sub-folder of each large type shows the real last number.
    void Finish() {
        for (TypeState& t : m_types) {
            if (t.n <= kFilesPerFolder || !t.pSub) continue;
            uint64_t first = (t.n - 1) / kFilesPerFolder * kFilesPerFolder + 1;
            t.pSub->GetAttr()->SetName(Format("%llu-%llu", first, t.n).c_str());
        }
    }

private:
    struct TypeState {
        IKivFileNode* pFolder = nullptr;  // borrowed from the tree
        IKivFileNode* pSub = nullptr;
        uint32_t n = 0;
    };

    static IKivFileNode* NewFolder(IKivFileNode* pParent, const std::string& name) {
        IKivFileNode* pNode = KivNewDirNode(KIV_ATTR_RAW, name.c_str());
        pParent->AddChild(pNode);
        return pNode;
    }

    void MoveFirstFilesIntoSubfolder(TypeState& t) {
        std::vector<IKivFileNode*> files;  // newest first, as the folder lists them
        for (IKivFileNode* p = t.pFolder->GetFirstChild(); p; p = p->GetNextSibling()) files.push_back(p);
        t.pSub = NewFolder(t.pFolder, Format("%llu-%llu", 1, kFilesPerFolder));
        for (auto it = files.rbegin(); it != files.rend(); ++it) {
            t.pFolder->RemoveChild(*it);
            t.pSub->AddChild(*it);
        }
    }

    IKivFileNode* m_pRoot;
    std::vector<TypeState> m_types;
};

// Formats whose content check finds the file's end itself: a carved file of them is checked, and
// joined when it lies in two pieces.
bool HasCheckedEnd(const uint8_t* p) {
    return std::memcmp(p, "\xFF\xD8\xFF", 3) == 0 || std::memcmp(p, "\x89PNG\r\n\x1A\n", 8) == 0 ||
           std::memcmp(p, "PK\x03\x04", 4) == 0;
}

// A carved file as it goes into the tree.
struct CarvedEntry {
    CRawFileInfo* pInfo;
    uint64_t nSize;
    uint8_t nDamage;
    uint64_t nBreak = 0;
    std::vector<KivDataRun> joined;
};

// Checks the content of every carved file whose format allows it, and joins those that lie in two
// pieces: the unit is the medium's sector, the rest may lie anywhere after the first piece that
// no file of a file system holds and no earlier join took.
void CheckCarved(std::vector<CarvedEntry>* pFiles, IKivDevStor* pMeasure, uint32_t nSS, bool bMayJoin,
                 const std::function<bool(uint64_t)>& isUsed, IKivEnumResFilesCallback* pCallback) {
    const uint64_t nSectors = pMeasure->GetSectorCount();
    if (nSectors == 0) return;
    CKivFragmentJoiner joiner(
        [&](uint64_t c, uint64_t n, uint8_t* p) {
            return c < nSectors && n <= nSectors - c && pMeasure->ReadSectors(p, c, n) != 0;
        },
        [&](uint64_t c) { return !isUsed(c); }, nSectors, nSS);
    joiner.SetMaxGapClusters(std::max<uint64_t>(1, kMaxGapUnits * 512 / nSS));
    std::map<uint64_t, uint64_t> extents;
    std::vector<size_t> todo;
    std::vector<uint8_t> head(nSS);
    for (size_t i = 0; i < pFiles->size(); ++i) {
        const CarvedEntry& e = (*pFiles)[i];
        extents[e.pInfo->m_nStartSector] = (e.nSize + nSS - 1) / nSS;
        if (e.nDamage == kCarveCutByMedium || e.nSize == 0 || e.nSize > CKivFragmentJoiner::kMaxFileBytes) continue;
        if (e.pInfo->m_nStartSector >= nSectors || !pMeasure->ReadSectors(head.data(), e.pInfo->m_nStartSector, 1))
            continue;
        if (nSS >= 8 && HasCheckedEnd(head.data())) todo.push_back(i);
    }
    if (todo.empty()) return;
    joiner.SetDeletedExtents(std::move(extents));
    CKivFragmentJoiner::Budget budget(kJoinTime);
    if (pCallback) pCallback->SetPhase(kCheckTitle, todo.size());
    uint64_t nDone = 0, nJoined = 0, nBroken = 0;
    for (size_t i : todo) {
        if (pCallback && (pCallback->SetProgress(++nDone) == -1 || pCallback->IsCancelled())) break;
        CarvedEntry& e = (*pFiles)[i];
        const uint64_t nStart = e.pInfo->m_nStartSector;
        const uint64_t nLeft = (nSectors - nStart) * nSS;
        uint64_t nReadTo = std::min<uint64_t>({CKivFragmentJoiner::kMaxFileBytes, nLeft, 2 * e.nSize + kRestSlack,
                                               std::max(KivScanSettings::Get().nMaxCarvedSize, e.nSize)});
        std::vector<KivDataRun> runs{{nStart, (nReadTo + nSS - 1) / nSS}};
        CKivFragmentJoiner::Result res;
        try {
            res = joiner.Check(runs, e.nSize, bMayJoin, &budget, nReadTo);
        } catch (const std::bad_alloc&) {
            continue;  // too large to hold in memory now: left as measured
        }
        if (res.kind == CKivFragmentJoiner::Result::kJoined) {
            e.joined = std::move(res.runs);
            e.nSize = res.nSize;
            e.nDamage = kCarveWhole;
            ++nJoined;
        } else if (res.kind == CKivFragmentJoiner::Result::kWhole && res.nSize > e.nSize) {
            e.nSize = res.nSize;  // in one piece, its end past where it was measured
            e.nDamage = kCarveWhole;
        } else if (res.kind == CKivFragmentJoiner::Result::kBroken) {
            e.nBreak = res.nBreak;
            ++nBroken;
        }
    }
    if (pCallback) pCallback->OnPhaseEnd();
    if (nJoined || nBroken)
        KivLogA(0, "Carving: %llu files joined from their pieces, %llu with content that breaks",
                static_cast<unsigned long long>(nJoined), static_cast<unsigned long long>(nBroken));
}

IKivFileNode* NewRawRoot() {
    auto* pAttr = new CKivFileAttrRAW();
    pAttr->SetName(KIV_NAME_RAW_ROOT);
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    pAttr->SetKindValue(16);
    return KivNewFileNode(pAttr);
}

// Size of a file found by a user-defined header: up to the next carved file's start (or the end of
// the storage), at most the configured limit.
uint64_t CustomFileSize(const CRawFileList& list, const CRawFileInfo& info, uint64_t nSectors, uint32_t nSectorSize,
                        uint64_t nMax) {
    uint64_t nEnd = nSectors;
    uint64_t nNext = 0;
    if (list.NextStartAfter(info.m_nStartSector, &nNext) && (nEnd == 0 || nNext < nEnd)) nEnd = nNext;
    if (nEnd <= info.m_nStartSector) return nEnd == 0 ? nMax : 0;
    uint64_t nSecs = nEnd - info.m_nStartSector;
    if (nSecs > nMax / nSectorSize) return nMax;
    return nSecs * nSectorSize;
}

}  // namespace

IKivFileNode* BuildRawTree(IIsClusterUsed* pUsed, IKivEnumResFilesCallback* pCallback, IKivDevStor* pDev,
                           CRawFileList* pList) {
    const KivScanSettings& settings = KivScanSettings::Get();
    if (!settings.bCarvedSubtree) return nullptr;
    if (!pDev || !pList) {
        KIV_RETERR(KIV_E_INVALIDARG);
        return nullptr;
    }
    IKivDevStor* pMeasure = pDev->GetBaseStor() ? pDev->GetBaseStor() : pDev;
    uint32_t nDevSS = pDev->GetSectorSize() ? pDev->GetSectorSize() : 512;
    uint32_t nRecSS = pMeasure->GetSectorSize() ? pMeasure->GetSectorSize() : 512;
    uint64_t nRecSectors = pMeasure->GetSectorCount();
    auto isUsed = [&](const CRawFileInfo& info) {
        unsigned __int128 s = static_cast<unsigned __int128>(info.m_nStartSector) * nRecSS / nDevSS;
        return pUsed && (s > ~0ull || pUsed->IsClusterUsed(static_cast<uint64_t>(s)));
    };

    IKivFileNode* pRoot = nullptr;
    try {
        pRoot = NewRawRoot();
        CRawTreeBuilder builder(pRoot);
        RawAnalyserRegistry& reg = RawAnalyserRegistry::Get();

        uint64_t nTotal = 0;
        if (pCallback) {
            for (size_t i = 0; i < pList->Size(); ++i)
                if (!isUsed(*pList->At(i))) ++nTotal;
            pCallback->SetPhase(kProgressTitle, nTotal);
        }

        uint64_t nDone = 0;
        bool bStopped = false;
        std::vector<CarvedEntry> carved;
        for (size_t i = 0; i < pList->Size(); ++i) {
            CRawFileInfo& info = *pList->At(i);
            if (isUsed(info)) continue;
            bool bStop = false;
            if (pCallback) bStop = pCallback->SetProgress(++nDone) == -1 || pCallback->IsCancelled();
            bStopped = bStopped || bStop;
            // An unmeasured record is judged by the type its measurement gives (a compound file
            // found for DOC may turn out a workbook), so only measured ones are judged here.
            if (info.m_nSize != 0 && (info.m_nTypeId >= kMaxTypeIds || !IsSelected(settings, info.m_nTypeId))) {
                if (bStop) break;
                continue;
            }

            uint64_t nSize = info.m_nSize;
            uint8_t nDamage = info.m_nDamage;
            if (nSize == 0 && static_cast<int16_t>(info.m_nAnalyserId) == -1) {
                if (info.m_nTypeId < kMaxTypeIds && IsSelected(settings, info.m_nTypeId))
                    nSize = CustomFileSize(*pList, info, nRecSectors, nRecSS, settings.nMaxCustomSize);
            } else if (nSize == 0) {
                IRawFileAnalyser* pAnalyser = reg.FindById(static_cast<int32_t>(info.m_nAnalyserId));
                if (pAnalyser) {
                    info.m_nDamage = kCarveWhole;
                    try {
                        pAnalyser->MeasureFile(&info, pMeasure);
                    } catch (...) {
                        info.m_nSize = 0;
                    }
                    nDamage = info.m_nDamage;
                    info.m_strTitle = pAnalyser->GetTitleText();
                    info.m_strDetail = pAnalyser->GetDetailText();
                    nSize = info.m_nSize < settings.nMaxCarvedSize ? info.m_nSize : settings.nMaxCarvedSize;
                    info.m_nSize = 0;
                    // Measuring may refine the type (a compound file becomes a workbook...).
                    if (info.m_nTypeId >= kMaxTypeIds || !IsSelected(settings, info.m_nTypeId)) nSize = 0;
                }
            }

            // A size taken from a header may run past the end of the medium; the data stops there.
            if (nRecSectors != 0) {
                uint64_t nLeft = info.m_nStartSector < nRecSectors ? nRecSectors - info.m_nStartSector : 0;
                if (nLeft <= ~0ull / nRecSS && nSize > nLeft * nRecSS) {
                    nSize = nLeft * nRecSS;
                    if (nDamage == kCarveWhole) nDamage = kCarveCutByMedium;
                }
            }
            if (nSize != 0) carved.push_back({&info, nSize, nDamage, 0, {}});
            if (bStop) break;
        }
        if (pCallback) pCallback->OnPhaseEnd();
        if (!bStopped) {
            auto usedAt = [&](uint64_t s) {
                unsigned __int128 d = static_cast<unsigned __int128>(s) * nRecSS / nDevSS;
                return pUsed && (d > ~0ull || pUsed->IsClusterUsed(static_cast<uint64_t>(d)));
            };
            // The joined runs count sectors of the device the recovery reads.
            CheckCarved(&carved, pMeasure, nRecSS, nRecSS == nDevSS, usedAt, pCallback);
        }
        bool bHaveJpeg = false;
        uint64_t nJpegStart = 0, nJpegEnd = 0, nJpegSize = 0;
        for (const CarvedEntry& e : carved) {
            const CRawFileInfo& info = *e.pInfo;
            if (static_cast<int32_t>(info.m_nAnalyserId) == kJpegAnalyserId) {
                // A picture whose content breaks ends there for this rule: what its measurement
                // ran on into is no part of it.
                uint64_t nBytes = e.nBreak ? std::min(e.nBreak, e.nSize) : e.nSize;
                uint64_t nEnd = e.joined.empty() ? info.m_nStartSector + (nBytes + nRecSS - 1) / nRecSS
                                                 : e.joined.back().nStart + e.joined.back().nLength;
                // A picture inside the previous one is its thumbnail unless it is of comparable size.
                if (bHaveJpeg && info.m_nStartSector > nJpegStart && nEnd <= nJpegEnd &&
                    (e.nSize < nJpegSize / 10 || e.nSize > nJpegSize / 10 * 9))
                    continue;
                bHaveJpeg = true;
                nJpegStart = info.m_nStartSector;
                nJpegEnd = nEnd;
                nJpegSize = e.nSize;
            }
            builder.AddFile(info.m_nTypeId, info.m_strTitle, info.m_strDetail, info.m_nStartSector, e.nSize, e.nDamage,
                            e.joined.empty() ? nullptr : &e.joined, e.nBreak);
        }
        builder.Finish();
        return pRoot;
    } catch (const std::exception& e) {
        KivLogA(0, "BuildRawTree: %s", e.what());
        KivSafeRelease(pRoot);
        return nullptr;
    }
}
