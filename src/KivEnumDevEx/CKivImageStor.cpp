#include "CKivImageStor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "KivLog.h"
#include "platform/KivBlockDev.h"

CKivImageStor::CKivImageStor(std::unique_ptr<CKivSectorReader> pReader) : CKivReaderStor(std::move(pReader)) {
    if (!m_pReader) m_pReader = std::make_unique<CKivSectorReader>();
}

CKivImageStor::~CKivImageStor() {
    Close();
    KivCloseDev(m_fdKept);
}

KivResult CKivImageStor::OpenPath(const char* pszPath, uint32_t nSectorSize) {
    Close();
    if (!pszPath || !*pszPath) return KIV_RETERR(KIV_E_INVALIDARG);
    if (nSectorSize % 512 != 0) {
        KivLogA(0, "OpenImage: sector size %u is not a multiple of 512", nSectorSize);
        return KIV_RETERR(KIV_E_SECTORSIZE);
    }
    int err = 0;
    KivPathKind kind = KivKindOfPath(pszPath, &err);
    if (kind == KivPathKind::kMissing) {
        KivLogA(0, "OpenImage: %s: %s", pszPath, std::strerror(err));
        return KIV_RETERR(err == ENOENT || err == ENOTDIR ? KIV_E_NOTFOUND : KIV_E_IO);
    }
    if (kind == KivPathKind::kOther) {
        KivLogA(0, "OpenImage: %s is not a file or a block device", pszPath);
        return KIV_RETERR(KIV_E_NOTFILE);
    }
    // Read-only, always: the medium being recovered must never be written.
    int fd = KivOpenReadOnly(pszPath, 1, &err);
    if (fd < 0) {
        KivLogA(0, "OpenImage: cannot open %s: %s", pszPath, std::strerror(err));
        return KIV_RETERR(KIV_E_IO);
    }
    m_path = pszPath;
    return Adopt(fd, nSectorSize);
}

KivResult CKivImageStor::OpenFd(int fd, const char* pszName, uint32_t nSectorSize) {
    Close();
    if (fd < 0) return KIV_RETERR(KIV_E_INVALIDARG);
    if (nSectorSize % 512 != 0) return KIV_RETERR(KIV_E_SECTORSIZE);
    if (!KivIsReadOnlyFd(fd)) {
        KivLogA(0, "OpenImageFd: the descriptor of %s is not read-only; refused", pszName ? pszName : "?");
        return KIV_RETERR(KIV_E_WRITABLEFD);
    }
    KivBlockInfo info;
    if (!KivQueryBlockInfo(fd, &info)) return KIV_RETERR(KIV_E_IO);
    if (!info.bRegularFile && !info.bBlockDevice) return KIV_RETERR(KIV_E_NOTFILE);
    int own = KivDupReadOnly(fd);
    if (own < 0) return KIV_RETERR(KIV_E_IO);
    m_path = pszName && *pszName ? pszName : "descriptor";
    KivResult r = Adopt(own, nSectorSize);
    if (KivSucceeded(r)) m_fdKept = own;  // no path to open again: Close keeps it for Open
    return r;
}

KivResult CKivImageStor::Adopt(int fd, uint32_t nSectorSize) {
    const char* pszPath = m_path.c_str();
    KivBlockInfo info;
    if (!KivQueryBlockInfo(fd, &info) || (!info.bRegularFile && !info.bBlockDevice)) {
        KivCloseDev(fd);
        KivLogA(0, "OpenImage: %s is not a file or a block device", pszPath);
        return KIV_RETERR(KIV_E_NOTFILE);
    }
    bool bBlock = info.bBlockDevice;
    uint64_t nBytes = info.bHasBytes ? info.nBytes : 0;
    uint32_t nSize = nSectorSize ? nSectorSize : 512;
    if (bBlock && nSectorSize == 0 && info.nLogicalSector && info.nLogicalSector % 512 == 0)
        nSize = info.nLogicalSector;
    if (nBytes == 0) {
        KivCloseDev(fd);
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

int CKivImageStor::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    uint64_t d = 0, e = 0;
    if (m_bBlockDevice || m_fd < 0 || nSector >= m_nSectors || nSector > UINT64_MAX / m_nSectorSize ||
        !KivFindFileData(m_fd, nSector * m_nSectorSize, m_nBytes, &d, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    return AnswerData(nSector, d, e, m_nBytes, pFirst, pEnd);
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
    if (m_fd != m_fdKept) KivCloseDev(m_fd);
    m_fd = -1;
    return 1;
}
