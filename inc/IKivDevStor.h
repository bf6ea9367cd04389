// Read-only store of fixed-size sectors addressed by 64-bit sector numbers.
#pragma once

#include <vector>

#include "KivCommon.h"

// Unreadable sector ranges, as a storage reports them with a read and keeps them in its bad-area
// map. A range is [nFirst, nEnd) in the reporting storage's own sector numbers.
constexpr uint32_t KIV_BAD_FAILED = 1;   // read and failed, sector by sector
constexpr uint32_t KIV_BAD_UNTRIED = 2;  // written off without a read, next to a damaged region

struct KivBadRange {
    uint64_t nFirst = 0;
    uint64_t nEnd = 0;
    uint32_t nKind = KIV_BAD_FAILED;
};
using KivBadRanges = std::vector<KivBadRange>;

// Flags of ReadSectorsEx.
constexpr uint32_t KIV_READ_RETRY_UNTRIED = 1;  // read sectors written off untried after all (tree
                                                // building, recovery); failures stay bounded

class IKivDevStor : public IKivCommon {
public:
    // Nonzero on success. pBuf must hold nCount * GetSectorSize() bytes.
    virtual int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) = 0;
    virtual uint64_t GetSectorCount() = 0;
    virtual uint32_t GetSectorSize() = 0;
    virtual int Open() = 0;   // 1 when ready to read
    virtual int Close() = 0;  // 1
    // The storage this one translates (only the 512-byte view has one), or null.
    virtual IKivDevStor* GetBaseStor() = 0;

    // ReadSectors that also tells which sectors of the request could not be read: they read as
    // zeros and are listed in *pBad (cleared first; may be null), sorted and in this storage's
    // sector numbers. A storage that cannot tell reads plainly and lists nothing.
    virtual int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
        if (pBad) pBad->clear();
        return ReadSectors(pBuf, nFirst, nCount);
    }
    // The storage's bad-area map so far, sorted; 0 (and an empty list) when it keeps none.
    virtual int GetBadAreas(KivBadRanges* pOut) {
        if (pOut) pOut->clear();
        return 0;
    }
    // Declares areas unreadable whatever the medium answers there (the areas an imaging tool could
    // not rescue, whose bytes in the image are fill, or the failed areas of a saved map): they read
    // as zeros, are listed as failed and are never read. Areas of kind KIV_BAD_UNTRIED (a saved map
    // put back) become untried again: plain reads skip them, KIV_READ_RETRY_UNTRIED reads try them.
    // Areas are in this storage's sector numbers; parts past its end are dropped. 1 when the
    // storage keeps a map, 0 otherwise.
    virtual int AddBadAreas(const KivBadRanges& areas) { return 0; }
    // Where stored data lies from nSector on, for sparse media (holes of a sparse image file,
    // unallocated areas of a disk-image container): *pFirst is the first sector at or after nSector
    // that may hold data (the sectors before it read as zeros and need no read), *pEnd the end of
    // that run of data (GetSectorCount() when it runs to the end). A storage without holes answers
    // 0 with *pFirst = nSector and *pEnd = GetSectorCount(); one that knows them answers 1. Past
    // the end both are GetSectorCount().
    virtual int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
        uint64_t n = GetSectorCount();
        if (pFirst) *pFirst = nSector < n ? nSector : n;
        if (pEnd) *pEnd = n;
        return 0;
    }

    int32_t m_nReserved = 0;
    // The 512-byte view made on demand by the engine's GetRecoverStor; owned by this storage.
    IKivDevStor* m_pRecoverView = nullptr;

protected:
    ~IKivDevStor() override {
        if (m_pRecoverView) m_pRecoverView->Release();
    }
};

// Implemented by the program: hands the device library a read-only descriptor of a device it may
// not open itself (a user's program asks udisks2, which asks polkit). Called on the thread that
// opens, when opening a path fails for lack of rights. Not reference counted; the program keeps it
// alive while the library may open devices.
class IKivDevOpener {
public:
    // A descriptor opened read-only on pszPath, which the library then owns, or -1; pszWhy gets a
    // one-line reason for the user on failure.
    virtual int OpenReadOnly(const char* pszPath, char* pszWhy, uint32_t nWhySize) = 0;

protected:
    ~IKivDevOpener() = default;
};

// Served by KivEnumDevEx under the interface name "IKivImageDev": opens a regular image file or a
// block device read-only as an IKivDevStor.
class IKivImageDev : public IKivCommon {
public:
    // nSectorSize 0 means: the kernel's logical sector size for block devices, 512 for files.
    // Other values must be positive multiples of 512. On success *ppStor holds a new storage.
    virtual KivResult OpenImage(const char* pszPath, uint32_t nSectorSize, IKivDevStor** ppStor) = 0;

    // Additions after the slot above.
    // The same over a descriptor the caller opened (kept by the caller; the storage reads a
    // duplicate). It must be open read-only: a descriptor that could write is refused (0x034).
    // pszName names the device in logs.
    virtual KivResult OpenImageFd(int fd, const char* pszName, uint32_t nSectorSize, IKivDevStor** ppStor) = 0;
    // Who to ask for a descriptor when the library lacks the rights to open a device (null: nobody).
    // Holds for every open of the library: images, disks, partitions, floppies.
    virtual KivResult SetDevOpener(IKivDevOpener* pOpener) = 0;
};
