#include "Model/KivNtfsRecordRead.h"

#include <algorithm>
#include <memory>

#include "KivByteReader.h"
#include "Ntfs/CKivNtfsFileRecord.h"

KivRecordRead KivReadNtfsRecord(IKivDevStor* pDev, uint64_t nFirst, std::vector<uint8_t>* pRec) {
    uint32_t nSS = pDev->GetSectorSize();
    if (nSS == 0) return KivRecordRead::kUnreadable;
    std::vector<uint8_t>& rec = *pRec;
    rec.assign(std::max<size_t>(KIV_NTFS_MAX_RECORD, nSS) + nSS, 0);
    // Records are read when trees are built and files recovered: what the scan left untried is
    // tried now, and a record with a sector that reads as zeros in place of its bytes is lost.
    KivBadRanges bad;
    auto read = [&](uint64_t nSecs) {
        return pDev->ReadSectorsEx(rec.data(), nFirst, nSecs, KIV_READ_RETRY_UNTRIED, &bad) && bad.empty();
    };
    if (!read(1)) return KivRecordRead::kUnreadable;
    uint32_t nAlloc = KivByteReader(rec.data(), nSS).U32At(KivNtfsRecordAt::kAllocated);
    if (nAlloc == 0 || nAlloc > KIV_NTFS_MAX_RECORD) return KivRecordRead::kMalformed;
    uint64_t nSecs = (nAlloc + nSS - 1) / nSS;
    if (nSecs > 1 && !read(nSecs)) return KivRecordRead::kUnreadable;
    rec.resize(nAlloc);
    // The last two bytes of every 512-byte stride were replaced on disk by the sequence number;
    // the originals are kept in the array.
    KivByteReader rd(rec.data(), rec.size());
    uint16_t nUsaOff = rd.U16At(KivNtfsRecordAt::kUsaOffset), nUsaCount = rd.U16At(KivNtfsRecordAt::kUsaCount);
    uint16_t nUsn = rd.U16At(nUsaOff);
    KivRecordRead res = KivRecordRead::kOk;
    for (uint32_t i = 1; i < nUsaCount && rd.Ok(); ++i) {
        size_t nPos = size_t(i) * 512 - 2;
        uint16_t nOrig = rd.U16At(nUsaOff + 2 * i);
        if (!rd.Has(nPos, 2)) break;
        if (rd.U16At(nPos) != nUsn) res = KivRecordRead::kFixupMismatch;
        rec[nPos] = static_cast<uint8_t>(nOrig);
        rec[nPos + 1] = static_cast<uint8_t>(nOrig >> 8);
    }
    if (!rd.Ok()) res = KivRecordRead::kFixupMalformed;
    return res;
}

KivRecordRead KivReadResidentValue(IKivDevStor* pDev, uint64_t nFirst, uint32_t nOffset, uint64_t nLen,
                                   std::vector<uint8_t>* pOut) {
    std::vector<uint8_t> rec;
    KivRecordRead res = KivReadNtfsRecord(pDev, nFirst, &rec);
    if (res == KivRecordRead::kUnreadable || res == KivRecordRead::kMalformed) return res;
    if (nOffset > rec.size() || nLen > rec.size() - nOffset) return KivRecordRead::kMalformed;
    pOut->assign(rec.begin() + nOffset, rec.begin() + nOffset + nLen);
    return res;
}

std::vector<uint8_t> KivReadNodeHead(IKivFileNode* pNode, IKivDevStor* pDev, size_t nMax) {
    std::vector<uint8_t> out;
    IKivFileAttr* pAttr = pNode ? pNode->GetAttr() : nullptr;
    uint64_t nBase = 0;
    uint32_t nSpc = 0;
    if (!pAttr || !pDev || !pNode->GetPartInfo(&nBase, &nSpc) || nSpc == 0) return out;
    std::unique_ptr<IDataRunList> pRuns(pAttr->GetDataRunList());
    if (!pRuns) return out;
    nMax = static_cast<size_t>(std::min<uint64_t>(nMax, pAttr->GetSize()));
    if (pRuns->IsResident()) {
        const KivDataRun* r = pRuns->First();
        uint64_t nFirst = 0;
        if (r && !__builtin_add_overflow(nBase, r->nStart, &nFirst))
            KivReadResidentValue(pDev, nFirst, pRuns->GetResidentValue(), std::min<uint64_t>(r->nLength, nMax), &out);
        return out;
    }
    std::vector<KivDataRun> runs;
    for (const KivDataRun* r = pRuns->First(); r; r = pRuns->Next()) runs.push_back(*r);
    return KivReadRunsHead(pDev, nBase, nSpc, runs, nMax);
}

std::vector<uint8_t> KivReadRunsHead(IKivDevStor* pDev, uint64_t nBase, uint32_t nSpc,
                                     const std::vector<KivDataRun>& runs, uint64_t nMax) {
    std::vector<uint8_t> out, buf;
    const uint32_t nSS = pDev ? pDev->GetSectorSize() : 0;
    if (nSS == 0 || nSpc == 0) return out;
    for (const KivDataRun& r : runs) {
        if (out.size() >= nMax) break;
        uint64_t nSecs = 0, nFirst = 0, nRel = 0;
        if (r.nStart == KIV_SPARSE_RUN || __builtin_mul_overflow(r.nLength, nSpc, &nSecs) ||
            __builtin_mul_overflow(r.nStart, nSpc, &nRel) || __builtin_add_overflow(nRel, nBase, &nFirst))
            break;
        uint64_t nWant = nMax - out.size();
        nSecs = std::min<uint64_t>(nSecs, (nWant + nSS - 1) / nSS);
        buf.resize(nSecs * nSS);
        KivBadRanges bad;
        if (!pDev->ReadSectorsEx(buf.data(), nFirst, nSecs, KIV_READ_RETRY_UNTRIED, &bad)) break;
        // Zeros standing in for unreadable sectors are no data: the head ends before them.
        uint64_t nGood = bad.empty() ? buf.size() : (bad.front().nFirst - nFirst) * nSS;
        out.insert(out.end(), buf.begin(), buf.begin() + std::min<uint64_t>(nWant, nGood));
        if (!bad.empty()) break;
    }
    return out;
}
