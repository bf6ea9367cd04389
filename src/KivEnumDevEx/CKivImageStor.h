// A disk image file or a block device, opened read-only, as a store of sectors.
#pragma once

#include <memory>
#include <string>

#include "CKivReaderStor.h"

class CKivImageStor : public CKivReaderStor {
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

    // The holes of a sparse image file (none for a block device). A sector with any data counts.
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    int Open() override;   // reopens after Close; 1 when readable
    int Close() override;  // 1

    bool IsBlockDevice() const { return m_bBlockDevice; }
    uint64_t GetByteSize() const { return m_nBytes; }
    const std::string& GetPath() const { return m_path; }

protected:
    ~CKivImageStor() override;

private:
    // Takes over fd of the file or device st describes, named m_path.
    KivResult Adopt(int fd, uint32_t nSectorSize);

    int m_fdKept = -1;  // the descriptor of OpenFd, closed only with the storage
    std::string m_path;
    int m_fd = -1;
    bool m_bBlockDevice = false;
    uint64_t m_nBytes = 0;
};
