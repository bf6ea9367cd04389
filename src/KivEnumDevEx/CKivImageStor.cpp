#include "CKivImageStor.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "KivLog.h"
#include "platform/KivBlockDev.h"

CKivImageStor::CKivImageStor(std::unique_ptr<CKivSectorReader> pReader) : m_pReader(std::move(pReader)) {
    if (!m_pReader) m_pReader = std::make_unique<CKivSectorReader>();
}

CKivImageStor::~CKivImageStor() {
    Close();
    if (m_fdKept >= 0) ::close(m_fdKept);
}

KivResult CKivImageStor::OpenPath(const char* pszPath, uint32_t nSectorSize) {
    Close();
    if (!pszPath || !*pszPath) return KIV_RETERR(KIV_E_INVALIDARG);
    if (nSectorSize % 512 != 0) {
        KivLogA(0, "OpenImage: sector size %u is not a multiple of 512", nSectorSize);
        return KIV_RETERR(KIV_E_SECTORSIZE);
    }
    KivPathStat st;
    if (int err = 0; !KivStatPath(pszPath, &st, &err)) {
        KivLogA(0, "OpenImage: %s: %s", pszPath, std::strerror(err));
        return KIV_RETERR(err == ENOENT || err == ENOTDIR ? KIV_E_NOTFOUND : KIV_E_IO);
    }
    if (!st.bRegularFile && !st.bBlockDevice) {
        KivLogA(0, "OpenImage: %s is not a file or a block device", pszPath);
        return KIV_RETERR(KIV_E_NOTFILE);
    }
    // Read-only, always: the medium being recovered must never be written.
    int err = 0;
    int fd = KivOpenReadOnly(pszPath, 1, &err);
    if (fd < 0) {
        KivLogA(0, "OpenImage: cannot open %s: %s", pszPath, std::strerror(err));
        return KIV_RETERR(KIV_E_IO);
    }
    m_path = pszPath;
    return Adopt(fd, st.bBlockDevice, st.nBytes, nSectorSize);
}

KivResult CKivImageStor::OpenFd(int fd, const char* pszName, uint32_t nSectorSize) {
    Close();
    if (fd < 0) return KIV_RETERR(KIV_E_INVALIDARG);
    if (nSectorSize % 512 != 0) return KIV_RETERR(KIV_E_SECTORSIZE);
    if (!KivIsReadOnlyFd(fd)) {
        KivLogA(0, "OpenImageFd: the descriptor of %s is not read-only; refused", pszName ? pszName : "?");
        return KIV_RETERR(KIV_E_WRITABLEFD);
    }
    KivBlockInfo st;
    if (!KivQueryBlockInfo(fd, &st)) return KIV_RETERR(KIV_E_NOTFILE);
    int own = KivDupFd(fd);
    if (own < 0) return KIV_RETERR(KIV_E_IO);
    m_path = pszName && *pszName ? pszName : "descriptor";
    KivResult r = Adopt(own, st.bBlockDevice, st.bRegularFile ? st.nBytes : 0, nSectorSize);
    if (KivSucceeded(r)) m_fdKept = own;  // no path to open again: Close keeps it for Open
    return r;
}

KivResult CKivImageStor::Adopt(int fd, bool bBlock, uint64_t nFileBytes, uint32_t nSectorSize) {
    const char* pszPath = m_path.c_str();
    uint64_t nBytes = nFileBytes;
    uint32_t nSize = nSectorSize ? nSectorSize : 512;
    if (bBlock) {
        // A block device's size and sector size are the kernel's.
        KivBlockInfo info;
        const bool bInfo = KivQueryBlockInfo(fd, &info);
        nBytes = bInfo && info.bHasBytes ? info.nBytes : 0;
        if (nSectorSize == 0 && bInfo && info.nLogicalSector > 0 && info.nLogicalSector % 512 == 0)
            nSize = info.nLogicalSector;
    }
    if (nBytes == 0) {
        ::close(fd);
        KivLogA(0, "OpenImage: %s is empty", pszPath);
        return KIV_RETERR(KIV_E_EMPTY);
    }
    // No trial read here: a damaged first sector must not keep the rest of the medium from a scan.
    m_fd = fd;
    m_bBlockDevice = bBlock;
    m_nSectorSize = nSize;
    m_nBytes = nBytes;
    m_nSectors = (nBytes + nSize - 1) / nSize;  // a short last sector of a file counts, tail as zeros
    m_pReader->SetSectorSize(nSize);
    m_pReader->Attach(m_fd, m_nBytes);
    return KIV_OK;
}

int CKivImageStor::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivImageStor::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf) return 0;
    if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) {
        uint64_t nBytes = 0;
        if (!__builtin_mul_overflow(nCount, uint64_t(m_nSectorSize), &nBytes) && nBytes < (1ull << 32))
            std::memset(pBuf, 0, nBytes);
        return 0;
    }
    return m_pReader->Read(pBuf, nFirst, nCount, nFlags, pBad);
}

int CKivImageStor::GetBadAreas(KivBadRanges* pOut) {
    if (!pOut) return 0;
    *pOut = m_pReader->GetBadAreas();
    return 1;
}

int CKivImageStor::AddBadAreas(const KivBadRanges& areas) {
    // Areas beyond the device end are of no use to anyone reading it.
    KivBadRanges inside;
    for (const KivBadRange& r : areas)
        if (r.nFirst < m_nSectors && r.nFirst < r.nEnd) inside.push_back({r.nFirst, std::min(r.nEnd, m_nSectors), r.nKind});
    m_pReader->AddBadAreas(inside);
    return 1;
}

int CKivImageStor::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    uint64_t d = 0, e = 0;
    if (m_bBlockDevice || m_fd < 0 || nSector >= m_nSectors || nSector > UINT64_MAX / m_nSectorSize ||
        !KivFindFileData(m_fd, nSector * m_nSectorSize, m_nBytes, &d, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    uint64_t nFirst = std::max(nSector, d / m_nSectorSize);
    uint64_t nEnd = e >= m_nBytes ? m_nSectors : (e + m_nSectorSize - 1) / m_nSectorSize;
    if (d >= m_nBytes) nFirst = nEnd = m_nSectors;
    if (pFirst) *pFirst = nFirst;
    if (pEnd) *pEnd = std::max(nEnd, nFirst);
    return 1;
}

int CKivImageStor::Open() {
    if (m_fd >= 0) return 1;
    if (m_path.empty()) return 0;
    int err = 0;
    int fd = m_fdKept >= 0 ? m_fdKept : KivOpenReadOnly(m_path, 1, &err);
    if (fd < 0) return 0;
    m_fd = fd;
    m_pReader->Attach(m_fd, m_nBytes);
    return 1;
}

int CKivImageStor::Close() {
    m_pReader->Attach(-1, m_nBytes);
    if (m_fd >= 0 && m_fd != m_fdKept) ::close(m_fd);
    m_fd = -1;
    return 1;
}
