// A disk image file or a block device, opened read-only, as a store of sectors.
#pragma once

#include <memory>
#include <string>


#include "CKivSectorReader.h"
#include "IKivDevStor.h"

class CKivImageStor : public IKivDevStor {
public:
    // pReader replaces the default device reader (tests pass one that simulates damage).
    explicit CKivImageStor(std::unique_ptr<CKivSectorReader> pReader = nullptr);

    // Opens the path O_RDONLY. nSectorSize 0: the kernel's logical sector size for a block device,
    // 512 for a file; any other value must be a positive multiple of 512. Codes: 0x002 no path,
    // 0x030 missing, 0x031 folder or other non-data file, 0x032 empty, 0x033 bad sector size,
    // 0x020 unreadable.
    KivResult OpenPath(const char* pszPath, uint32_t nSectorSize);
    // The same over a read-only descriptor the caller keeps (this reads a duplicate); 0x034 when
    // the descriptor could write.
    KivResult OpenFd(int fd, const char* pszName, uint32_t nSectorSize);

    // Reads inside the device; a read that runs past its end fails (0) with a zeroed destination.
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override;
    int AddBadAreas(const KivBadRanges& areas) override;
    // The holes of a sparse image file (none for a block device). A sector with any data counts.
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override;   // reopens after Close; 1 when readable
    int Close() override;  // 1
    IKivDevStor* GetBaseStor() override { return nullptr; }

    bool IsBlockDevice() const { return m_bBlockDevice; }
    uint64_t GetByteSize() const { return m_nBytes; }
    const std::string& GetPath() const { return m_path; }
    CKivSectorReader& Reader() { return *m_pReader; }

protected:
    ~CKivImageStor() override;

private:
    // Takes over fd of the file or device st describes, named m_path.
    KivResult Adopt(int fd, bool bBlockDevice, uint64_t nFileBytes, uint32_t nSectorSize);

    std::unique_ptr<CKivSectorReader> m_pReader;
    int m_fdKept = -1;  // the descriptor of OpenFd, closed only with the storage
    std::string m_path;
    int m_fd = -1;
    bool m_bBlockDevice = false;
    uint32_t m_nSectorSize = 512;
    uint64_t m_nBytes = 0;
    uint64_t m_nSectors = 0;
};
