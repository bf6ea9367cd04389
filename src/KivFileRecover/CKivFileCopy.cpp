#include "CKivFileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "CKivEfsStream.h"
#include "CKivLznt1.h"
#include "CKivRecoverNames.h"
#include "KivByteReader.h"
#include "KivLog.h"
#include "KivRecoverCode.h"
#include "platform/KivPlatform.h"

namespace {

constexpr size_t kPieceBytes = 65536;
constexpr uint32_t kUnitClusters = 16;
constexpr uint32_t kMaxCompressedCluster = 4096;
constexpr uint32_t kMaxResident = 4096;

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

void CKivFileCopy::MarkDamaged(const char* pszWhy) {
    if (!m_bDamaged) KivLogA(0, "Recover damaged.file name: %s (%s)", m_destPath.c_str(), pszWhy);
    m_bDamaged = true;
}

void CKivFileCopy::ReadPiece(uint8_t* p, uint64_t nFirst, uint64_t nCount) {
    // A successful read fills the whole piece, so the piece is cleared only when the read fails
    // (which may leave part of it filled): one pass less over every byte copied.
    if (!m_pReader->ReadSectors(p, nFirst, nCount)) {
        std::memset(p, 0, nCount * m_nSectorSize);
        MarkDamaged("device read failed");
    }
}

void CKivFileCopy::ReadClusters(uint8_t* p, uint64_t nCluster, uint64_t nCount) {
    uint64_t nRel = 0, nFirst = 0;
    if (!MulFits(nCluster, m_nSecPerClus, &nRel) || __builtin_add_overflow(nRel, m_nBase, &nFirst)) {
        std::memset(p, 0, nCount * m_nSecPerClus * m_nSectorSize);
        MarkDamaged("run outside the device");
        return;
    }
    ReadPiece(p, nFirst, nCount * m_nSecPerClus);
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
            if (!m_out.WriteZeros(n)) return kFailed;
            nLeft -= n;
            if (Written(n) != kOk) return kCancelled;
            continue;
        }
        if (!bFits) nSecs = ~0ull;  // read until the size is reached
        uint64_t nRel = 0, nFirst = 0;
        bool bPlaced = MulFits(r->nStart, m_nSecPerClus, &nRel) && !__builtin_add_overflow(nRel, m_nBase, &nFirst);
        for (uint64_t nDone = 0; nDone < nSecs && nLeft; ) {
            uint64_t k = std::min(nPieceSecs, nSecs - nDone);
            if (bPlaced && nFirst + nDone >= nFirst) {
                ReadPiece(m_buf.data(), nFirst + nDone, k);
            } else {
                std::memset(m_buf.data(), 0, kPieceBytes);
                MarkDamaged("run outside the device");
            }
            uint64_t n = std::min<uint64_t>(k * m_nSectorSize, nLeft);
            if (!m_out.Write(m_buf.data(), n)) return kFailed;
            nLeft -= n;
            nDone += k;
            if (Written(n) != kOk) return kCancelled;
        }
    }
    if (nLeft) MarkDamaged("runs end before the file's size");
    return kOk;
}

CKivFileCopy::Outcome CKivFileCopy::CopyResident(IDataRunList* pRuns) {
    const KivDataRun* r = pRuns->First();
    if (!r) return kFailed;
    uint64_t nLen = r->nLength;
    uint32_t nOff = pRuns->GetResidentValue();
    if (nLen > kMaxResident) return kFailed;
    std::vector<uint8_t> rec(kMaxResident + m_nSectorSize, 0);
    uint64_t nFirst = 0;
    bool bRead = !__builtin_add_overflow(m_nBase, r->nStart, &nFirst) && m_pReader->ReadSectors(rec.data(), nFirst, 1);
    uint32_t nAlloc = 0;
    if (bRead) {
        KivByteReader hdr(rec.data(), m_nSectorSize);
        nAlloc = hdr.U32At(28);
        if (nAlloc == 0 || nAlloc > kMaxResident) return kFailed;
        uint64_t nSecs = (nAlloc + m_nSectorSize - 1) / m_nSectorSize;
        if (nSecs > 1) bRead = m_pReader->ReadSectors(rec.data(), nFirst, nSecs);
    }
    if (!bRead) {
        std::fill(rec.begin(), rec.end(), 0);
        MarkDamaged("file record unreadable");
        nAlloc = kMaxResident;
    } else {
        // Update-sequence fix-ups: the last two bytes of every 512-byte stride were replaced on
        // disk by the sequence number; the originals are kept in the array.
        KivByteReader rd(rec.data(), nAlloc);
        uint16_t nUsaOff = rd.U16At(4), nUsaCount = rd.U16At(6);
        uint16_t nUsn = rd.U16At(nUsaOff);
        for (uint32_t i = 1; i < nUsaCount && rd.Ok(); ++i) {
            size_t nPos = size_t(i) * 512 - 2;
            uint16_t nOrig = rd.U16At(nUsaOff + 2 * i);
            if (!rd.Has(nPos, 2)) break;
            if (rd.U16At(nPos) != nUsn) MarkDamaged("file record fix-up mismatch");
            rec[nPos] = static_cast<uint8_t>(nOrig);
            rec[nPos + 1] = static_cast<uint8_t>(nOrig >> 8);
        }
        if (!rd.Ok()) MarkDamaged("file record fix-ups malformed");
    }
    if (nOff > nAlloc || nLen > nAlloc - nOff) return kFailed;
    if (!m_out.Write(rec.data() + nOff, nLen)) return kFailed;
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
            if (!m_out.WriteZeros(n)) return kFailed;
        } else {
            // Each allocated cluster goes to its place in the unit, read in contiguous stretches.
            std::memset(in.data(), 0, in.size());
            for (uint32_t i = 0; i < u.nCount;) {
                if (u.lcn[i] == KIV_SPARSE_RUN) { ++i; continue; }
                uint32_t j = i + 1;
                while (j < u.nCount && u.lcn[j] != KIV_SPARSE_RUN && u.lcn[j] == u.lcn[j - 1] + 1) ++j;
                ReadClusters(in.data() + i * nClusBytes, u.lcn[i], j - i);
                i = j;
            }
            const uint8_t* pData = in.data();
            bool bCompressed = u.nSparse > 0 && (in[0] | in[1]) != 0;
            if (bCompressed) {
                if (CKivLznt1::DecodeUnit(in, out) < 0) MarkDamaged("compressed data damaged");
                pData = out.data();
            }
            if (!m_out.Write(pData, n)) return kFailed;
        }
        nLeft -= n;
        if (Written(n) != kOk) return kCancelled;
    }
    if (nLeft) MarkDamaged("runs end before the file's size");
    return kOk;
}

CKivFileCopy::Outcome CKivFileCopy::RebuildEncrypted(uint64_t nSize) {
    int fdIn = ::open(m_destPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fdIn < 0) return kFailed;
    // There is no raw import of encrypted files here: the import stream itself is the result,
    // under a name that shows it is the encrypted form.
    std::string efsPath = CKivRecoverNames::MakeNewFile(m_destPath + ".EFS");
    CKivDestFile efs;
    if (efsPath.empty() || !efs.Create(efsPath)) {
        ::close(fdIn);
        KIV_RECOVER_FAIL(KIV_E_IO, "CKivFileRecover::RebuildEncrypted");
        return kFailed;
    }
    auto outcome = CKivEfsStream::Build(fdIn, efs.Fd(), nSize,
                                        [this] { return m_pCallback->IsCancelled() == -1; });
    ::close(fdIn);
    bool bClosed = efs.Close();
    ::unlink(m_destPath.c_str());
    if (outcome == CKivEfsStream::kCancelled) return kCancelled;
    if (outcome != CKivEfsStream::kDone || !bClosed) {
        ::unlink(efsPath.c_str());
        return kFailed;
    }
    m_finalPath = efsPath;
    KivLogA(0, "Recovered encrypted file as its import stream: %s", efsPath.c_str());
    return kOk;
}

void CKivFileCopy::SetAttrsAndTimes(IKivFileAttr* pAttr) {
    // Read-only becomes a file without write permission; hidden has no Linux counterpart.
    if (pAttr->GetAttributes() & KIV_FA_READONLY) {
        struct stat st;
        if (::lstat(m_finalPath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::chmod(m_finalPath.c_str(), st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
    }
    // The creation time cannot be set on Linux; access and modification times can.
    uint32_t nValid = pAttr->GetValidFields();
    struct timespec ts[2];
    auto setTime = [](struct timespec* p, bool bValid, uint64_t ft) {
        if (!bValid || ft == 0) {
            p->tv_sec = 0;
            p->tv_nsec = UTIME_OMIT;
            return;
        }
        int64_t s;
        uint32_t ns;
        KivFileTimeToUnix(ft, &s, &ns);
        p->tv_sec = static_cast<time_t>(s);
        p->tv_nsec = ns;
    };
    setTime(&ts[0], nValid & KIV_VALID_ATIME, pAttr->GetAccessTime());
    setTime(&ts[1], nValid & KIV_VALID_MTIME, pAttr->GetModificationTime());
    if (ts[0].tv_nsec == UTIME_OMIT && ts[1].tv_nsec == UTIME_OMIT) return;
    if (::utimensat(AT_FDCWD, m_finalPath.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0)
        KivLogA(0, "CreateDestFileFailed");
}

CKivFileCopy::Outcome CKivFileCopy::Copy(IKivFileNode* pNode, const std::string& destPath) {
    m_destPath = m_finalPath = destPath;
    m_bDamaged = false;
    m_nWritten = 0;
    IKivFileAttr* pAttr = pNode->GetAttr();
    if (!pNode->GetPartInfo(&m_nBase, &m_nSecPerClus) || !pAttr || (pAttr->GetAttributes() & KIV_FA_DIRECTORY) ||
        m_nSecPerClus == 0) {
        KIV_RECOVER_FAIL(KIV_E_INVALIDARG, "CKivFileRecover::RecoverFile");
        return kFailed;
    }
    m_nSectorSize = m_pReader->GetSectorSize();
    if (m_nSectorSize == 0 || m_nSectorSize > kPieceBytes || kPieceBytes % m_nSectorSize) {
        KIV_RECOVER_FAIL(KIV_E_IO, "CKivFileRecover::RecoverFile");
        return kFailed;
    }
    m_name = pAttr->GetName();
    if (m_pCallback->OnFileStart(m_name.c_str()) == -1) return kCancelled;

    const uint16_t nFlags = pAttr->GetAttributes();
    const bool bCompressed = nFlags & KIV_FA_COMPRESSED;
    bool bEncrypted = nFlags & KIV_FA_ENCRYPTED;
    if (bCompressed && uint64_t(m_nSectorSize) * m_nSecPerClus > kMaxCompressedCluster) {
        KivLogA(0, "Compressed file on clusters above 4096 bytes: %s", m_name.c_str());
        KIV_RECOVER_FAIL(KIV_E_STATE, "CKivFileRecover::RecoverFile");
        return kFailed;
    }
    if (!m_out.Create(destPath)) {
        KIV_RECOVER_FAIL(KIV_E_IO, "CKivFileRecover::RecoverFile");
        return kFailed;
    }

    uint64_t nSize = pAttr->GetSize();
    if (bEncrypted) {
        std::vector<uint8_t> meta;
        auto* pEfs = dynamic_cast<IKivEfsMetadata*>(pAttr);
        if (pEfs && pEfs->ReadEfsMetadata(m_pReader, m_nBase, m_nSecPerClus, &meta) && meta.size() < 0xFFFF0000u) {
            auto head = CKivEfsStream::StreamHeader(static_cast<uint32_t>(meta.size()));
            if (!m_out.Write(head.data(), head.size()) || !m_out.Write(meta.data(), meta.size())) return kFailed;
        } else {
            KivLogA(0, "Encrypted file copied as stored, its metadata cannot be read: %s", m_name.c_str());
            bEncrypted = false;
        }
    }
    // Encrypted data is copied in whole sectors.
    uint64_t nData = bEncrypted ? (nSize + m_nSectorSize - 1) / m_nSectorSize * m_nSectorSize : nSize;

    m_buf.assign(kPieceBytes, 0);
    Outcome res = kOk;
    IDataRunList* pRuns = pAttr->GetDataRunList();
    if (!pRuns) {
        if (nSize != 0) {
            KivLogA(0, "File without data runs: %s", m_name.c_str());
            res = kFailed;
        }
    } else if (pRuns->IsResident()) {
        res = CopyResident(pRuns);
    } else if (bCompressed) {
        res = Decompress(pRuns, nData);
    } else {
        res = CopyRuns(pRuns, nData);
    }
    delete pRuns;
    if (!m_out.Close() && res == kOk) res = kFailed;
    if (res != kOk) return res;

    if (bEncrypted && (res = RebuildEncrypted(nSize)) != kOk) return res;
    SetAttrsAndTimes(pAttr);
    m_pCallback->OnTailBytes(m_nWritten > nSize ? m_nWritten - nSize : 0);  // its answer is not a cancel
    return m_pCallback->OnFileDone(1) == -1 ? kCancelled : kOk;
}
