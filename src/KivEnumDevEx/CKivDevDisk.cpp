#include "CKivDevDisk.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "CKivReaderStor.h"
#include "KivByteReader.h"
#include "KivDiskText.h"
#include "KivLog.h"
#include "KivContainerOpen.h"
#include "platform/KivBlockDev.h"
#include "platform/KivDiskSource.h"

namespace {

// Tries a read again after reopening the device when it reported that no medium is present, so
// that a reseated card or a drive that was not ready does not turn into a bad area.
class CKivDiskSectorReader : public CKivSectorReader {
public:
    explicit CKivDiskSectorReader(CKivDevDisk* pDisk) : m_pDisk(pDisk) {}

protected:
    int64_t RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override {
        if (CKivContainer* pContainer = m_pDisk->Container()) {
            int64_t r = pContainer->ReadAt(pBuf, nOffset, nBytes);
            std::vector<std::pair<uint64_t, uint64_t>> damaged;
            if (r > 0 && pContainer->Damaged(nOffset, static_cast<uint64_t>(r), &damaged)) {
                // Damaged chunks enter the map whole: no probing around them as on a failing disk.
                for (const auto& [b, e] : damaged) MarkDamaged(b, e);
                errno = EIO;
                return -1;
            }
            return r;
        }
        for (int nTry = 1;; ++nTry) {
            errno = 0;
            int64_t r = CKivSectorReader::RawRead(pBuf, nOffset, nBytes);
            if (r >= 0 || errno != KIV_ENOMEDIUM || nTry >= 3) return r;
            int err = errno;
            if (!m_pDisk->ReopenAfterNotReady()) {
                errno = err;
                return r;
            }
        }
    }

private:
    CKivDevDisk* m_pDisk;
};

}  // namespace

uint64_t KivChooseSectorCount(const KivSizeFacts& f) {
    if (f.nGeometry == 0) {
        if (f.bHasSize) return f.nSizeSectors;
        return f.bHasCap1 ? f.nCap1 : 0;
    }
    if (f.bHasSize && f.nSizeSectors >= f.nGeometry) return f.nSizeSectors;
    auto inside = [&](uint64_t c) { return c > f.nGeometry && c - f.nGeometry < f.nCylinder; };
    if (f.bHasCap1 && inside(f.nCap1)) return f.nCap1;
    if (f.bHasCap2 && inside(f.nCap2)) return f.nCap2;
    return f.nGeometry;
}

bool KivDetectDynamic(const std::function<bool(uint64_t, uint8_t*)>& pfnRead, uint32_t nSectorSize,
                      uint64_t nSectors) {
    if (nSectorSize < 512 || nSectors <= 6) return false;
    constexpr int kMaxTables = 256;  // a chain that loops or never ends is cut here
    std::vector<uint8_t> buf(nSectorSize);
    std::set<uint64_t> seen;
    uint64_t nTable = 0, nExtBase = 0;
    for (int n = 0; n < kMaxTables && seen.insert(nTable).second; ++n) {
        if (!pfnRead(nTable, buf.data())) break;
        KivByteReader r(buf.data(), buf.size());
        bool bLink = false;
        uint64_t nNext = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t type = r.U8At(450 + 16 * i);
            uint64_t first = r.U32At(454 + 16 * i);
            if (type == 0x42) return true;
            if (type != 0x05 && type != 0x0F && type != 0x85) continue;
            if (n == 0 && !bLink) nExtBase = first;  // the MBR's first link is the extended base
            nNext = n == 0 ? first : nExtBase + first;  // the last link of a table wins
            bLink = true;
        }
        if (!bLink) break;
        nTable = nNext;
    }
    if (!pfnRead(6, buf.data()) || !pfnRead(0, buf.data()) || buf[450] != 0xEE) return false;
    if (!pfnRead(2, buf.data())) return false;
    auto nameIs = [&](size_t off, const char* psz) {
        for (size_t i = 0; psz[i]; ++i)
            if (buf[off + 56 + 2 * i] != uint8_t(psz[i]) || buf[off + 57 + 2 * i] != 0) return false;
        return true;
    };
    bool bMeta = false, bData = false;
    for (size_t e = 0; e < 4; ++e) {
        bMeta = bMeta || nameIs(e * 128, "LDM metadata partition");
        bData = bData || nameIs(e * 128, "LDM data partition");
    }
    return bMeta && bData;
}

CKivDevDisk::CKivDevDisk(int32_t nNumber, const KivSysDisk& sys)
    : m_nNumber(nNumber), m_sys(sys), m_strPath(sys.strDevPath),
      m_pReader(std::make_unique<CKivDiskSectorReader>(this)) {}

CKivDevDisk::CKivDevDisk(const std::string& strImagePath, uint32_t nSectorSize)
    : m_bImage(true), m_strPath(strImagePath), m_nForcedSectorSize(nSectorSize),
      m_pReader(std::make_unique<CKivDiskSectorReader>(this)) {
    m_sys.nBusType = KIV_BUS_FILE;
    size_t slash = strImagePath.find_last_of('/');
    m_sys.strName = slash == std::string::npos ? strImagePath : strImagePath.substr(slash + 1);
    m_sys.strModel = m_sys.strName;
}

CKivDevDisk::~CKivDevDisk() {
    CloseLocked();
    KivAlignedFree(m_pTransfer);
}

int CKivDevDisk::OpenLocked(int* pErr) {
    CloseLocked();
    int err = 0;
    int fd = KivOpenReadOnly(m_strPath, kOpenTries, &err);
    if (fd < 0) {
        if (pErr) *pErr = err;
        return 0;
    }
    KivBlockInfo info;
    if (!KivQueryBlockInfo(fd, &info) || (!info.bBlockDevice && !info.bRegularFile)) {
        KivCloseDev(fd);
        if (pErr) *pErr = KIV_ENOTBLK;
        return 0;
    }
    m_fd = fd;
    if (m_nSectorSize == 0 && m_bImage && info.bRegularFile) {
        // A container is read as the disk it holds, told by its content.
        KivImageKind kind = KivSniffImage(m_strPath);
        if (kind != KivImageKind::kRaw) {
            std::string why;
            m_pContainer = KivOpenContainer(m_strPath, kind, &why);
            if (!m_pContainer) {
                KivLogA(0, "Image %s: %s", m_strPath.c_str(), why.c_str());
                m_strContainerWhy = why;
                CloseLocked();
                if (pErr) *pErr = EIO;
                return 0;
            }
            const CKivContainer::Info& c = m_pContainer->GetInfo();
            info.nBytes = c.nBytes;
            if (!m_nForcedSectorSize) m_nForcedSectorSize = c.nSectorSize;
            m_strContainerFormat = c.strFormat;
        }
    }
    if (m_nSectorSize == 0) {
        // Sizes are learnt once; a reopen keeps them so reads stay consistent.
        m_nSectorSize = m_nForcedSectorSize;
        if (!m_nSectorSize)
            m_nSectorSize = info.nLogicalSector && info.nLogicalSector % 512 == 0 ? info.nLogicalSector : 512;
        m_nDevMajor = info.nDevMajor;
        m_nDevMinor = info.nDevMinor;
        m_bHasGeometry = info.bHasGeometry;
        m_nHeads = info.nHeads;
        m_nSectorsPerTrack = info.nSectorsPerTrack;
        KivSizeFacts f;
        f.nCylinder = uint64_t(info.nHeads) * info.nSectorsPerTrack;
        f.nGeometry = uint64_t(info.nCylinders16) * f.nCylinder;
        f.bHasSize = info.bHasBytes;
        // An image whose size is not a whole number of sectors ends in a short sector (its tail
        // reads as zeros); a device always holds whole sectors.
        f.nSizeSectors = (info.nBytes + m_nSectorSize - 1) / m_nSectorSize;
        if (info.bBlockDevice && (!f.bHasSize || f.nSizeSectors < f.nGeometry)) {
            uint64_t nBlocks = 0;
            uint32_t nBlockBytes = 0;
            f.bHasCap1 = KivScsiReadCapacity10(fd, &nBlocks, &nBlockBytes);
            f.nCap1 = nBlocks;
        }
        m_nSectors = KivChooseSectorCount(f);
        m_nBytes = f.bHasSize ? std::min<uint64_t>(info.nBytes, m_nSectors * m_nSectorSize)
                              : m_nSectors * m_nSectorSize;
        m_pReader->SetSectorSize(m_nSectorSize);
    }
    m_pReader->Attach(m_fd, m_nBytes);
    return 1;
}

void CKivDevDisk::CloseLocked() {
    m_pReader->Attach(-1, m_nBytes);
    KivCloseDev(m_fd);
    m_fd = -1;
}

int CKivDevDisk::OpenFirst(int* pErr) {
    std::lock_guard<std::recursive_mutex> g(m_mtx);
    if (!OpenLocked(pErr)) return 0;
    if (m_nSectors == 0) {
        CloseLocked();
        if (pErr) *pErr = 0;  // empty
        return 0;
    }
    m_bDynamic = KivDetectDynamic(
        [this](uint64_t n, uint8_t* p) { return ReadSectors(p, n, 1) != 0; }, m_nSectorSize, m_nSectors);
    return 1;
}

bool CKivDevDisk::ReopenAfterNotReady() {
    std::lock_guard<std::recursive_mutex> g(m_mtx);
    KivLogA(0, "Disk %s reported no medium; reopening", m_strPath.c_str());
    return OpenLocked(nullptr) != 0;
}

int CKivDevDisk::Open() {
    std::lock_guard<std::recursive_mutex> g(m_mtx);
    return m_fd >= 0 ? 1 : OpenLocked(nullptr);
}

int CKivDevDisk::Close() {
    std::lock_guard<std::recursive_mutex> g(m_mtx);
    CloseLocked();
    return 1;
}

int CKivDevDisk::IsOpen() {
    std::lock_guard<std::recursive_mutex> g(m_mtx);
    return m_fd >= 0 ? 1 : 0;
}

uint32_t CKivDevDisk::GetSectorSize() { return m_nSectorSize ? m_nSectorSize : 512; }

uint64_t CKivDevDisk::GetSectorCount() { return m_nSectors; }

int CKivDevDisk::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivDevDisk::GetBadAreas(KivBadRanges* pOut) {
    if (!pOut) return 0;
    *pOut = m_pReader->GetBadAreas();
    return 1;
}

int CKivDevDisk::AddBadAreas(const KivBadRanges& areas) {
    m_pReader->AddBadAreas(CKivReaderStor::Within(areas, m_nSectors));
    return 1;
}

int CKivDevDisk::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf) return 0;
    std::lock_guard<std::recursive_mutex> g(m_mtx);
    const uint64_t nSize = GetSectorSize();
    uint64_t nBytes = 0;
    if (__builtin_mul_overflow(nCount, nSize, &nBytes) || nBytes >= (1ull << 32)) return 0;
    if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) {
        std::memset(pBuf, 0, nBytes);
        return 0;
    }
    if (!m_bTransferTried) {
        m_bTransferTried = true;
        m_pTransfer = static_cast<uint8_t*>(KivAlignedAlloc(kTransferBytes));
    }
    if (!m_pTransfer || nBytes > kTransferBytes) return m_pReader->Read(pBuf, nFirst, nCount, nFlags, pBad);
    int r = m_pReader->Read(m_pTransfer, nFirst, nCount, nFlags, pBad);
    std::memcpy(pBuf, m_pTransfer, nBytes);
    return r;
}

uint64_t CKivDevDisk::CountUnreadable(uint64_t nFirst, uint64_t nCount) {
    uint64_t nEnd = nCount > UINT64_MAX - nFirst ? UINT64_MAX : nFirst + nCount;
    uint64_t n = 0;
    for (const KivBadRange& r : m_pReader->GetBadAreas()) {
        uint64_t lo = std::max(r.nFirst, nFirst), hi = std::min(r.nEnd, nEnd);
        if (lo < hi) n += hi - lo;
    }
    return n;
}

int64_t CKivDevDisk::GetMbrSignature() {
    std::vector<uint8_t> buf(GetSectorSize());
    if (!ReadSectors(buf.data(), 0, 1)) return -1;
    KivByteReader r(buf.data(), buf.size());
    return r.U32At(440);
}

int CKivDevDisk::GetDescriptor(KivDiskDescriptor* pOut) {
    if (!pOut) return 0;
    std::memset(pOut, 0, sizeof *pOut);
    pOut->nBusType = m_sys.nBusType;
    KivCopyText(pOut->szVendor, sizeof pOut->szVendor, m_sys.strVendor);
    KivCopyText(pOut->szProduct, sizeof pOut->szProduct, m_sys.strModel);
    KivCopyText(pOut->szRevision, sizeof pOut->szRevision, m_sys.strRevision);
    KivCopyText(pOut->szSerial, sizeof pOut->szSerial, m_sys.strSerial);
    std::string bus = !m_bImage ? KivBusName(m_sys.nBusType) : m_strContainerFormat.empty() ? "Image File" : m_strContainerFormat + " Image File";
    KivCopyText(pOut->szBusName, sizeof pOut->szBusName, bus);
    return 1;
}

uint32_t CKivDevDisk::GetMediaType() {
    if (!m_bImage && m_sys.bRemovable) return KIV_MEDIA_REMOVABLE;
    return KIV_MEDIA_FIXED;
}

int CKivDevDisk::GetGeometry(KivDiskGeometry* pOut) {
    if (!pOut || !m_bHasGeometry) return 0;
    std::memset(pOut, 0, sizeof *pOut);
    // The kernel's cylinder count is cut to 16 bits; the whole count follows from the size.
    uint64_t nCyl = m_nSectors / (uint64_t(m_nHeads) * m_nSectorsPerTrack);
    pOut->nCylinders = static_cast<int64_t>(nCyl);
    pOut->nMediaType = GetMediaType();
    pOut->nTracksPerCylinder = m_nHeads;
    pOut->nSectorsPerTrack = m_nSectorsPerTrack;
    pOut->nBytesPerSector = GetSectorSize();
    return 1;
}

int CKivDevDisk::QueryLayout(void** ppOut, uint32_t nControlCode) {
    if (!ppOut) return 0;
    *ppOut = nullptr;
    if (nControlCode != KIV_LAYOUT_KERNEL || m_bImage || m_sys.strSysDir.empty()) return 0;
    std::vector<KivSysPartition> parts = KivSystemPartitions(m_sys);
    size_t nBytes = sizeof(KivKernelLayout) + parts.size() * sizeof(KivKernelLayoutEntry);
    auto* p = static_cast<KivKernelLayout*>(std::calloc(1, nBytes));
    if (!p) return 0;
    p->nCount = static_cast<uint32_t>(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        KivKernelLayoutEntry& e = KivLayoutEntries(p)[i];
        e.nStartByte = parts[i].nStart512 * 512;
        e.nLengthBytes = parts[i].nSize512 * 512;
        e.nPartNumber = parts[i].nNumber;
        e.nDevMajor = parts[i].nMajor;
        e.nDevMinor = parts[i].nMinor;
        KivCopyText(e.szName, sizeof e.szName, parts[i].strName);
    }
    *ppOut = p;
    return 1;
}

int CKivDevDisk::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    const uint64_t nSecs = GetSectorCount();
    const uint64_t z = GetSectorSize() ? GetSectorSize() : 512;
    uint64_t d = 0, e = 0;
    if (m_pContainer && m_fd >= 0 && nSector < nSecs && nSector <= UINT64_MAX / z &&
        m_pContainer->FindData(nSector * z, &d, &e)) {
        const uint64_t nBytes = m_pContainer->GetInfo().nBytes;
        uint64_t nFirst = d >= nBytes ? nSecs : std::max(nSector, d / z);
        uint64_t nEnd = e >= nBytes ? nSecs : std::min(nSecs, (e + z - 1) / z);
        if (pFirst) *pFirst = nFirst;
        if (pEnd) *pEnd = std::max(nEnd, nFirst);
        return 1;
    }
    if (!m_bImage || m_pContainer || m_fd < 0 || nSector >= nSecs || nSector > UINT64_MAX / z ||
        !KivFindFileData(m_fd, nSector * z, m_nBytes ? m_nBytes : nSecs * z, &d, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    uint64_t nFirst = std::min(nSecs, std::max(nSector, d / z));
    uint64_t nEnd = std::min(nSecs, (e + z - 1) / z);
    if (pFirst) *pFirst = nFirst;
    if (pEnd) *pEnd = std::max(nEnd, nFirst);
    return 1;
}
