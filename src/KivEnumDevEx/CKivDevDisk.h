// One disk of the machine (a block device under /dev) or an image file listed as a disk, opened
// read-only, read through the bad-area reader and a 4 MiB transfer buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "CKivContainer.h"
#include "CKivSectorReader.h"
#include "IKivEnumDevEx.h"
#include "platform/KivSysBlock.h"

// The sector count from what the device says: G whole cylinders of geometry (cylinder = one
// cylinder's sectors); the byte size's count when it reaches G; otherwise a drive capacity lying
// strictly between G and G + one cylinder (first, then second); otherwise G. Without geometry the
// byte size, else the first capacity, counts.
struct KivSizeFacts {
    uint64_t nGeometry = 0, nCylinder = 0;
    bool bHasSize = false;
    uint64_t nSizeSectors = 0;
    bool bHasCap1 = false, bHasCap2 = false;
    uint64_t nCap1 = 0, nCap2 = 0;
};
uint64_t KivChooseSectorCount(const KivSizeFacts& f);

// Whether sector 0 (and, for GPT, sector 2) mark a dynamic disk. pfnRead reads one sector of the
// disk into a buffer of nSectorSize bytes; the extended chain is followed for at most a bounded
// number of tables and never to a table already read.
bool KivDetectDynamic(const std::function<bool(uint64_t, uint8_t*)>& pfnRead, uint32_t nSectorSize, uint64_t nSectors);

class CKivDevDisk : public IKivDevDisk {
public:
    // A disk the kernel lists, with the facts sysfs gave.
    CKivDevDisk(int32_t nNumber, const KivSysDisk& sys);
    // An image file (or any readable path) as a disk of nSectorSize-byte sectors (0: the kernel's
    // logical sector size for a block device, 512 for a file).
    CKivDevDisk(const std::string& strImagePath, uint32_t nSectorSize);

    // The first open; 0 on failure with the system's error in *pErr. Construction does not open,
    // so the enumerator can tell the user why a disk is not listed.
    int OpenFirst(int* pErr);

    // IKivDevStor
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    // The holes of a sparse image file opened as a disk.
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    int GetBadAreas(KivBadRanges* pOut) override;
    int AddBadAreas(const KivBadRanges& areas) override;
    uint64_t GetSectorCount() override;
    uint32_t GetSectorSize() override;
    int Open() override;
    int Close() override;
    IKivDevStor* GetBaseStor() override { return nullptr; }

    // IKivDevDisk
    int IsOpen() override;
    int32_t GetDiskNumber() override { return m_bImage ? -1 : m_nNumber; }
    int QueryLayout(void** ppOut, uint32_t nControlCode) override;
    int64_t GetMbrSignature() override;
    int GetDescriptor(KivDiskDescriptor* pOut) override;
    uint32_t GetMediaType() override;
    int GetGeometry(KivDiskGeometry* pOut) override;
    int IsDynamic() override { return m_bDynamic; }
    const char* GetPath() override { return m_strPath.c_str(); }
    uint64_t CountUnreadable(uint64_t nFirst, uint64_t nCount) override;

    bool IsImage() const { return m_bImage; }
    // The container an image file is (E01, VHD, ...), read in its place; null for a raw image.
    CKivContainer* Container() const { return m_pContainer.get(); }
    // Why the container of the image could not be opened (empty when it was, or is none).
    const std::string& ContainerWhy() const { return m_strContainerWhy; }
    const KivSysDisk& SysFacts() const { return m_sys; }
    uint32_t DevMajor() const { return m_nDevMajor; }
    uint32_t DevMinor() const { return m_nDevMinor; }
    CKivSectorReader& Reader() { return *m_pReader; }

    // Reopens the device after it reported that no medium is present (a card reseated, a drive
    // that spun down); called by the reader between tries.
    bool ReopenAfterNotReady();

    static constexpr uint64_t kTransferBytes = 4u << 20;
    static constexpr int kOpenTries = 3;

protected:
    ~CKivDevDisk() override;

private:
    int OpenLocked(int* pErr);
    void CloseLocked();
    void LearnSizes();

    int32_t m_nNumber = -1;
    bool m_bImage = false;
    KivSysDisk m_sys;
    std::string m_strPath;
    uint32_t m_nForcedSectorSize = 0;
    uint32_t m_nSectorSize = 0;  // 0 = not yet known
    uint64_t m_nSectors = 0;     // 0 = not yet known
    uint64_t m_nBytes = 0;
    bool m_bDynamic = false;
    bool m_bHasGeometry = false;
    uint32_t m_nHeads = 0, m_nSectorsPerTrack = 0;
    uint32_t m_nDevMajor = 0, m_nDevMinor = 0;
    uint8_t* m_pTransfer = nullptr;  // page-aligned, allocated on first read
    bool m_bTransferTried = false;
    int m_fd = -1;
    std::unique_ptr<CKivContainer> m_pContainer;  // kept over reopens: its files stay open
    std::string m_strContainerFormat;
    std::string m_strContainerWhy;
    std::unique_ptr<CKivSectorReader> m_pReader;
    std::recursive_mutex m_mtx;  // serialises reads (the transfer buffer is shared) and reopening
};
