#include "CKivFileCopy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "CKivEfsStream.h"
#include "CKivLznt1.h"
#include "CKivRecoverNames.h"
#include "Model/KivNtfsRecordRead.h"
#include "KivLog.h"
#include "KivRecoverCode.h"
#include "Model/IKivAttrDataInfo.h"
#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"
#include "platform/KivPlatform.h"

namespace {

// Large pieces keep the copy near the speed of the disk: a read and a write each.
constexpr size_t kPieceBytes = 1 << 20;
constexpr uint32_t kUnitClusters = 16;
constexpr uint32_t kMaxCompressedCluster = 4096;
constexpr const char* kPastEnd = "read past the end of the image";
constexpr const char* kUnreadable = "unreadable sectors written as zeros";

bool MulFits(uint64_t a, uint64_t b, uint64_t* pOut) { return !__builtin_mul_overflow(a, b, pOut); }

// The cluster of each position of a compression unit, in file order.
struct UnitMap {
    uint64_t lcn[kUnitClusters];
    uint32_t nCount = 0;
    uint32_t nAllocated = 0;
    uint32_t nSparse = 0;
};

// Walks the runs cluster by cluster without expanding them.
class RunCursor {
public:
    explicit RunCursor(IDataRunList* p) : m_p(p), m_run(p->First()) {}
    bool Next(uint64_t* pLcn) {
        while (m_run && m_off >= m_run->nLength) {
            m_run = m_p->Next();
            m_off = 0;
        }
        if (!m_run) return false;
        *pLcn = m_run->nStart == KIV_SPARSE_RUN ? KIV_SPARSE_RUN : m_run->nStart + m_off;
        ++m_off;
        return true;
    }

private:
    IDataRunList* m_p;
    const KivDataRun* m_run;
    uint64_t m_off = 0;
};

}  // namespace

void CKivFileCopy::MarkDamaged(const std::string& why) {
    if (!m_bDamaged) {
        KivLogA(0, "Recover damaged.file name: %s (%s)", m_destPath.c_str(), why.c_str());
        m_damageReason = why;
    }
    m_bDamaged = true;
}

CKivFileCopy::Outcome CKivFileCopy::Fail(const std::string& why, int nErrno) {
    if (m_failReason.empty()) {
        m_failReason = why;
        m_nFailErrno = nErrno;
    }
    return kFailed;
}

CKivFileCopy::Outcome CKivFileCopy::WriteFailed() {
    int e = m_out.Errno() ? m_out.Errno() : EIO;
    return Fail(std::strerror(e), e);
}

void CKivFileCopy::AddDamage(uint64_t nFirst, uint64_t nEnd) {
    nEnd = std::min(nEnd, m_nDataBytes);
    if (nFirst >= nEnd) return;
    if (!m_damage.empty() && m_damage.back().nEnd >= nFirst) {
        m_damage.back().nEnd = std::max(m_damage.back().nEnd, nEnd);
        return;
    }
    m_damage.push_back({nFirst, nEnd});
}

bool CKivFileCopy::ReadPiece(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t nFileOffset) {
    const uint64_t z = m_nSectorSize;
    auto lost = [&](uint64_t nFrom, uint64_t nTo) {  // sectors [nFrom, nTo) of the piece
        if (nFileOffset != kNoOffset) AddDamage(nFileOffset + nFrom * z, nFileOffset + nTo * z);
    };
    // Sectors past the end of the device are not there to read (a cut image, a size or run taken
    // from damaged structures): the part before the end is still read.
    uint64_t nDevSecs = m_pReader->GetSectorCount();
    uint64_t nInside = nFirst >= nDevSecs ? 0 : std::min(nCount, nDevSecs - nFirst);
    bool bWhole = true;
    if (nInside < nCount) {
        std::memset(p + nInside * z, 0, (nCount - nInside) * z);
        MarkDamaged(kPastEnd);
        lost(nInside, nCount);
        bWhole = false;
    }
    if (nInside == 0) return false;
    // A successful read fills the whole piece, so the piece is cleared only when the read fails
    // (which may leave part of it filled): one pass less over every byte copied.
    KivBadRanges bad;
    if (!m_pReader->ReadSectorsEx(p, nFirst, nInside, KIV_READ_RETRY_UNTRIED, &bad)) {
        std::memset(p, 0, nInside * z);
        MarkDamaged(kUnreadable);
        lost(0, nInside);
        return false;
    }
    uint64_t nBad = 0;
    for (const KivBadRange& r : bad) {
        nBad += r.nEnd - r.nFirst;
        lost(r.nFirst - nFirst, r.nEnd - nFirst);
    }
    if (nBad) MarkDamaged(kUnreadable);
    m_nRead += (nInside - nBad) * z;
    return bWhole && nBad == 0;
}

bool CKivFileCopy::ReadClusters(uint8_t* p, uint64_t nCluster, uint64_t nCount, uint64_t nFileOffset) {
    uint64_t nRel = 0, nFirst = 0;
    if (!MulFits(nCluster, m_nSecPerClus, &nRel) || __builtin_add_overflow(nRel, m_nBase, &nFirst)) {
        std::memset(p, 0, nCount * m_nSecPerClus * m_nSectorSize);
        MarkDamaged(kPastEnd);
        if (nFileOffset != kNoOffset) AddDamage(nFileOffset, nFileOffset + nCount * m_nSecPerClus * m_nSectorSize);
        return false;
    }
    return ReadPiece(p, nFirst, nCount * m_nSecPerClus, nFileOffset);
}

CKivFileCopy::Outcome CKivFileCopy::Written(uint64_t n) {
    m_nWritten += n;
    return m_pCallback->OnBytesWritten(n) == -1 ? kCancelled : kOk;
}

CKivFileCopy::Outcome CKivFileCopy::CopyRuns(IDataRunList* pRuns, uint64_t nLeft) {
    const uint64_t nPieceSecs = kPieceBytes / m_nSectorSize;
    for (const KivDataRun* r = pRuns->First(); r && nLeft; r = pRuns->Next()) {
        uint64_t nSecs = 0, nRunBytes = 0;
        bool bFits = MulFits(r->nLength, m_nSecPerClus, &nSecs) && MulFits(nSecs, m_nSectorSize, &nRunBytes);
        if (r->nStart == KIV_SPARSE_RUN) {
            uint64_t n = bFits ? std::min(nRunBytes, nLeft) : nLeft;
            if (!m_out.WriteZeros(n)) return WriteFailed();
            nLeft -= n;
            if (Written(n) != kOk) return kCancelled;
            continue;
        }
        if (!bFits) nSecs = ~0ull;  // read until the size is reached
        uint64_t nRel = 0, nFirst = 0;
        bool bPlaced = MulFits(r->nStart, m_nSecPerClus, &nRel) && !__builtin_add_overflow(nRel, m_nBase, &nFirst);
        for (uint64_t nDone = 0; nDone < nSecs && nLeft; ) {
            // No sector beyond the file's last byte is read: a carved run counts 512-byte units
            // and may reach past the end of a device of larger sectors.
            uint64_t k = std::min({nPieceSecs, nSecs - nDone, (nLeft + m_nSectorSize - 1) / m_nSectorSize});
            if (bPlaced && nFirst + nDone >= nFirst) {
                ReadPiece(m_buf.data(), nFirst + nDone, k, m_nWritten);
            } else {
                std::memset(m_buf.data(), 0, kPieceBytes);
                MarkDamaged(kPastEnd);
                AddDamage(m_nWritten, m_nWritten + k * m_nSectorSize);
            }
            uint64_t n = std::min<uint64_t>(k * m_nSectorSize, nLeft);
            // Past the valid length the file reads as zeros, whatever the clusters still hold.
            uint64_t nPos = m_nWritten;
            if (nPos + n > m_nValidLength)
                std::memset(m_buf.data() + (nPos < m_nValidLength ? m_nValidLength - nPos : 0), 0,
                            nPos < m_nValidLength ? nPos + n - m_nValidLength : n);
            if (!m_out.Write(m_buf.data(), n)) return WriteFailed();
            nLeft -= n;
            nDone += k;
            if (Written(n) != kOk) return kCancelled;
        }
    }
    if (nLeft) MarkDamaged("its data runs end " + std::to_string(nLeft) + " bytes before its size");
    return kOk;
}

CKivFileCopy::Outcome CKivFileCopy::CopyHeld(const std::vector<uint8_t>& held, uint64_t nBytes) {
    uint64_t n = std::min<uint64_t>(held.size(), nBytes);
    if (n && !m_out.Write(held.data(), n)) return WriteFailed();
    m_nRead += n;
    if (Outcome o = Written(n); o != kOk) return o;
    if (n < nBytes) {
        AddDamage(n, nBytes);
        MarkDamaged("the data kept with its entry is shorter than its size");
        if (!m_out.WriteZeros(nBytes - n)) return WriteFailed();
        return Written(nBytes - n);
    }
    return kOk;
}

CKivFileCopy::Outcome CKivFileCopy::CopyResident(IDataRunList* pRuns) {
    const KivDataRun* r = pRuns->First();
    if (!r) return Fail("no file record for its data");
    uint64_t nLen = r->nLength, nFirst = 0;
    if (nLen > KIV_NTFS_MAX_RECORD) return Fail("data held in its file record is larger than the record");
    if (__builtin_add_overflow(m_nBase, r->nStart, &nFirst)) return Fail(kPastEnd);
    std::vector<uint8_t> value;
    switch (KivReadResidentValue(m_pReader, nFirst, pRuns->GetResidentValue(), nLen, &value)) {
        case KivRecordRead::kUnreadable: return Fail("its file record cannot be read");
        case KivRecordRead::kMalformed: return Fail("its file record is damaged");
        case KivRecordRead::kFixupMismatch: MarkDamaged("its file record was torn by an interrupted write"); break;
        case KivRecordRead::kFixupMalformed: MarkDamaged("its file record's fix-ups are malformed"); break;
        case KivRecordRead::kOk: break;
    }
    m_nRead += nLen;
    if (!m_out.Write(value.data(), nLen)) return WriteFailed();
    return Written(nLen);
}

CKivFileCopy::Outcome CKivFileCopy::Decompress(IDataRunList* pRuns, uint64_t nLeft) {
    const uint64_t nClusBytes = uint64_t(m_nSecPerClus) * m_nSectorSize;
    const uint64_t nUnitBytes = nClusBytes * kUnitClusters;
    std::vector<uint8_t> in(nUnitBytes), out(nUnitBytes);
    RunCursor cur(pRuns);
    while (nLeft) {
        UnitMap u;
        while (u.nCount < kUnitClusters && cur.Next(&u.lcn[u.nCount])) {
            if (u.lcn[u.nCount] == KIV_SPARSE_RUN) ++u.nSparse;
            else ++u.nAllocated;
            ++u.nCount;
        }
        if (m_pCallback->IsCancelled() == -1) return kCancelled;
        if (u.nCount == 0) break;
        uint64_t n = std::min(nLeft, nUnitBytes);
        if (u.nAllocated == 0) {
            if (!m_out.WriteZeros(n)) return WriteFailed();
        } else {
            // Each allocated cluster goes to its place in the unit, read in contiguous stretches.
            // A unit stored as it is keeps its damage in place; in a compressed one any damage
            // spoils what the unit decodes to, so all of its output counts as lost.
            std::memset(in.data(), 0, in.size());
            const bool bMaybeCompressed = u.nSparse > 0;
            const uint64_t nUnitAt = m_nWritten;
            bool bUnitDamaged = false;
            for (uint32_t i = 0; i < u.nCount;) {
                if (u.lcn[i] == KIV_SPARSE_RUN) { ++i; continue; }
                uint32_t j = i + 1;
                while (j < u.nCount && u.lcn[j] != KIV_SPARSE_RUN && u.lcn[j] == u.lcn[j - 1] + 1) ++j;
                if (!ReadClusters(in.data() + i * nClusBytes, u.lcn[i], j - i,
                                  bMaybeCompressed ? kNoOffset : nUnitAt + i * nClusBytes))
                    bUnitDamaged = true;
                i = j;
            }
            const uint8_t* pData = in.data();
            bool bCompressed = bMaybeCompressed && (in[0] | in[1]) != 0;
            if (bCompressed) {
                if (CKivLznt1::DecodeUnit(in, out) < 0) MarkDamaged("compressed data damaged");
                pData = out.data();
            }
            if (bUnitDamaged && bMaybeCompressed) AddDamage(nUnitAt, nUnitAt + n);
            if (!m_out.Write(pData, n)) return WriteFailed();
        }
        nLeft -= n;
        if (Written(n) != kOk) return kCancelled;
    }
    if (nLeft) MarkDamaged("its data runs end " + std::to_string(nLeft) + " bytes before its size");
    return kOk;
}

CKivFileCopy::Outcome CKivFileCopy::RebuildEncrypted(uint64_t nSize) {
    CKivFile fIn;
    if (!fIn.Open(m_destPath, CKivFile::Mode::kRead, true)) return Fail(std::strerror(errno), errno);
    // The import stream: fed to the system's raw import where the destination can hold an
    // encrypted file; elsewhere the stream itself is the result, under a name that shows it is the
    // encrypted form.
    size_t nLeaf = m_destPath.size();
    while (nLeaf > 0 && !KivIsPathSep(m_destPath[nLeaf - 1])) --nLeaf;
    size_t nMax = KivNameMax(KivDirOf(m_destPath));
    std::string efsPath = CKivRecoverNames::MakeNewFile(
        m_destPath.substr(0, nLeaf) + CKivRecoverNames::FitComponent(m_destPath.substr(nLeaf), nMax > 4 ? nMax - 4 : 1) +
            ".EFS",
        nMax);
    CKivDestFile efs;
    if (efsPath.empty() || !efs.Create(efsPath)) {
        int e = efsPath.empty() ? errno : efs.Errno();
        fIn.Close();
        KivRemoveFile(m_destPath);
        KIV_RECOVER_FAIL(KIV_E_IO, "CKivFileRecover::RebuildEncrypted");
        return Fail(std::string("cannot create its import stream: ") + std::strerror(e ? e : EIO), e);
    }
    auto outcome = CKivEfsStream::Build(fIn, efs.File(), nSize,
                                        [this] { return m_pCallback->IsCancelled() == -1; });
    fIn.Close();
    bool bClosed = efs.Close();
    KivRemoveFile(m_destPath);
    if (outcome != CKivEfsStream::kDone || !bClosed) {
        KivRemoveFile(efsPath);
        if (outcome == CKivEfsStream::kCancelled) return kCancelled;
        int e = efs.Errno() ? efs.Errno() : EIO;
        return Fail(std::string("writing its import stream: ") + std::strerror(e), e);
    }
    if (KivImportEncryptedRaw(efsPath, m_destPath)) {
        KivRemoveFile(efsPath);
        KivLogA(0, "Recovered encrypted file through the raw import: %s", m_destPath.c_str());
        return kOk;
    }
    m_finalPath = efsPath;
    KivLogA(0, "Recovered encrypted file as its import stream: %s", efsPath.c_str());
    return kOk;
}

void CKivFileCopy::SetAttrsAndTimes(IKivFileAttr* pAttr) {
    // Times first: a read-only file may refuse them afterwards.
    RestoreTimes(m_finalPath, pAttr);
    // The entry's read-only and system attributes; hidden is cleared, so the user sees what came back.
    KivSetFileAttributes(m_finalPath, pAttr->GetAttributes() & (KIV_FA_READONLY | KIV_FA_SYSTEM));
}

void CKivFileCopy::RestoreTimes(const std::string& path, IKivFileAttr* pAttr) {
    // The system keeps what it can (Linux has no settable creation time).
    uint32_t nValid = pAttr->GetValidFields();
    uint64_t nCreate = (nValid & KIV_VALID_CTIME) ? pAttr->GetCreationTime() : 0;
    uint64_t nAccess = (nValid & KIV_VALID_ATIME) ? pAttr->GetAccessTime() : 0;
    uint64_t nWrite = (nValid & KIV_VALID_MTIME) ? pAttr->GetModificationTime() : 0;
    if (!KivSetFileTimes(path, nCreate, nAccess, nWrite)) KivLogA(0, "CreateDestFileFailed");
}

CKivFileCopy::Outcome CKivFileCopy::Copy(IKivFileNode* pNode, const std::string& destPath) {
    m_destPath = m_finalPath = destPath;
    m_bDamaged = m_bCreated = m_bComplete = false;
    m_failReason.clear();
    m_damageReason.clear();
    m_nFailErrno = 0;
    m_nWritten = m_nRead = 0;
    m_damage.clear();
    IKivFileAttr* pAttr = pNode->GetAttr();
    Outcome res = CopyData(pNode, pAttr);
    if (res == kOk) {
        m_bComplete = true;
        SetAttrsAndTimes(pAttr);
        m_pCallback->OnTailBytes(m_nWritten > pAttr->GetSize() ? m_nWritten - pAttr->GetSize() : 0);  // not a cancel
        return m_pCallback->OnFileDone(1) == -1 ? kCancelled : kOk;
    }
    // Never leave a file that looks recovered but holds only part of the entry.
    if (m_bCreated) {
        KivRemoveFile(m_destPath);
        if (m_finalPath != m_destPath) KivRemoveFile(m_finalPath);
    }
    return res;
}

CKivFileCopy::Outcome CKivFileCopy::CopyData(IKivFileNode* pNode, IKivFileAttr* pAttr) {
    if (!pNode->GetPartInfo(&m_nBase, &m_nSecPerClus) || !pAttr || (pAttr->GetAttributes() & KIV_FA_DIRECTORY) ||
        m_nSecPerClus == 0) {
        KIV_RECOVER_FAIL(KIV_E_INVALIDARG, "CKivFileRecover::RecoverFile");
        return Fail("not a file of a partition");
    }
    m_nSectorSize = m_pReader->GetSectorSize();
    if (m_nSectorSize == 0 || m_nSectorSize > kPieceBytes || kPieceBytes % m_nSectorSize) {
        KIV_RECOVER_FAIL(KIV_E_IO, "CKivFileRecover::RecoverFile");
        return Fail("unsupported sector size " + std::to_string(m_nSectorSize));
    }
    m_name = pAttr->GetName();
    if (m_pCallback->OnFileStart(m_name.c_str()) == -1) return kCancelled;

    const uint16_t nFlags = pAttr->GetAttributes();
    const bool bCompressed = nFlags & KIV_FA_COMPRESSED;
    bool bEncrypted = nFlags & KIV_FA_ENCRYPTED;
    if (bCompressed && uint64_t(m_nSectorSize) * m_nSecPerClus > kMaxCompressedCluster) {
        KivLogA(0, "Compressed file on clusters above 4096 bytes: %s", m_name.c_str());
        KIV_RECOVER_FAIL(KIV_E_STATE, "CKivFileRecover::RecoverFile");
        return Fail("compressed on clusters larger than 4096 bytes");
    }
    uint64_t nSize = pAttr->GetSize();
    auto* pDataInfo = dynamic_cast<IKivAttrDataInfo*>(pAttr);
    const std::vector<uint8_t>* pHeld = pDataInfo ? pDataInfo->GetHeldData() : nullptr;
    IDataRunList* pRuns = pHeld ? nullptr : pAttr->GetDataRunList();
    // Nothing says where the data of a file with a size lies: no file rather than an empty one.
    if (nSize != 0 && !pHeld && (!pRuns || !pRuns->First())) {
        delete pRuns;
        KivLogA(0, "File without data runs: %s", m_name.c_str());
        return Fail("no data runs for its " + std::to_string(nSize) + " bytes");
    }
    std::unique_ptr<IDataRunList> runs(pRuns);
    if (!m_out.Create(m_destPath)) {
        KIV_RECOVER_FAIL(KIV_E_IO, "CKivFileRecover::RecoverFile");
        int e = m_out.Errno() ? m_out.Errno() : EIO;
        return Fail(std::strerror(e), e);
    }
    m_bCreated = true;

    if (bEncrypted) {
        std::vector<uint8_t> meta;
        auto* pEfs = dynamic_cast<IKivEfsMetadata*>(pAttr);
        if (pEfs && pEfs->ReadEfsMetadata(m_pReader, m_nBase, m_nSecPerClus, &meta) && meta.size() < 0xFFFF0000u) {
            auto head = CKivEfsStream::StreamHeader(static_cast<uint32_t>(meta.size()));
            if (!m_out.Write(head.data(), head.size()) || !m_out.Write(meta.data(), meta.size())) return WriteFailed();
        } else {
            KivLogA(0, "Encrypted file copied as stored, its metadata cannot be read: %s", m_name.c_str());
            bEncrypted = false;
        }
    }
    // Encrypted data is copied in whole sectors.
    uint64_t nData = bEncrypted ? (nSize + m_nSectorSize - 1) / m_nSectorSize * m_nSectorSize : nSize;
    m_nDataBytes = nData;

    m_nValidLength = ~0ull;
    if (auto* pInfo = dynamic_cast<IKivAttrDataInfo*>(pAttr)) {
        m_nValidLength = pInfo->GetValidLength();
        if (const char* pszWhy = pInfo->GetDataDamage()) MarkDamaged(pszWhy);
    }

    // Every piece is read whole before it is written, so the buffer is kept from file to file
    // uncleared: clearing a megabyte per file would dominate a folder of small files.
    if (m_buf.size() != kPieceBytes) m_buf.resize(kPieceBytes);
    Outcome res = kOk;
    if (pHeld) {
        res = CopyHeld(*pHeld, nData);
    } else if (!runs) {
        // An empty file.
    } else if (runs->IsResident()) {
        res = CopyResident(runs.get());
    } else if (bCompressed) {
        res = Decompress(runs.get(), nData);
    } else {
        res = CopyRuns(runs.get(), nData);
    }
    if (!m_out.Close() && res == kOk) res = WriteFailed();
    if (res != kOk) return res;
    // Zeros standing in for every byte are no recovered file.
    if (m_bDamaged && m_nRead == 0 && nSize != 0) return Fail(m_damageReason);

    if (bEncrypted && (res = RebuildEncrypted(nSize)) != kOk) return res;
    return kOk;
}
