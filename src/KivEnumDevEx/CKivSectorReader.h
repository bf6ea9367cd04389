// Reads sectors of an open device and survives damaged media. A read that fails is split in halves
// down to single sectors, so only the sectors that really fail read as zeros; they are remembered
// as failed. Where failures crowd (kRegionFailures single-sector failures, each within kRegionGap
// of the last) the rest of the region is measured with a few probe reads and written off untried,
// so a large damaged region costs a bounded number of reads. Later reads of remembered sectors
// cost no device access; reads that ask for it (KIV_READ_RETRY_UNTRIED) try untried sectors after
// all, under the same bound. Every device object of the device library reads through one of these.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "CKivBadAreaMap.h"
#include "IKivDevStor.h"

class CKivSectorReader {
public:
    static constexpr uint64_t kProbeSectors = 2048;
    static constexpr uint64_t kProbeFirstStep = 50;  // multiples of kProbeSectors, then halved
    static constexpr uint64_t kProbeMinStep = 10;
    static constexpr uint32_t kRegionFailures = 64;
    static constexpr uint64_t kRegionGap = 128;  // sectors between failures of one region

    explicit CKivSectorReader(uint32_t nSectorSize = 512) : m_nSectorSize(nSectorSize) {}
    virtual ~CKivSectorReader() = default;

    // The open device (not owned) and its size in bytes; fd -1 detaches.
    void Attach(int fd, uint64_t nDeviceBytes);
    void SetSectorSize(uint32_t n) { m_nSectorSize = n; }
    uint32_t GetSectorSize() const { return m_nSectorSize; }

    // Reads N sectors at F. 1 on success, including reads whose unreadable sectors were answered
    // with zeros (listed in *pBad when given, sorted, merged by kind); 0 for requests of 4 GiB or
    // more and when no device is attached (destination zeroed). The caller checks the device end.
    int Read(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags = 0, KivBadRanges* pBad = nullptr);

    // errno of the last failed device read, 0 when none failed.
    int GetLastError() const { return m_nLastError; }
    // The bad-area map, sorted by first sector.
    KivBadRanges GetBadAreas() const;
    // Areas put into the map: failed ones are never read (an imaging tool could not rescue them, or
    // a saved map is restored); untried ones are restored as untried, skipped unless a read asks.
    void AddBadAreas(const KivBadRanges& areas);

    // Device accesses so far, and how many of them failed (probes included).
    uint64_t DeviceReads() const { return m_nReads; }
    uint64_t FailedReads() const { return m_nFailed; }

protected:
    // For readers whose medium names its damage exactly (a container's failed chunks): the bytes
    // [nFirst, nEnd) read as failed sectors from now on, without the probing that a crowd of
    // failing sectors of a disk sets off. Not to be called with the reader's lock held.
    void MarkDamaged(uint64_t nFirstByte, uint64_t nEndByte);
    // One device read of nBytes at byte offset nOffset; answers the bytes read (short at the end of
    // the device) or -1 with errno set. Tests override it to simulate damaged media.
    virtual int64_t RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes);

private:
    struct Request;
    // Full success: every byte the device holds in that range arrived; bytes past its end are zero.
    bool ReadWhole(void* pBuf, uint64_t nFirst, uint64_t nCount);
    // Serves [nFirst, nFirst + nCount) piece by piece as the map stands at each piece.
    void ReadRange(uint8_t* p, uint64_t nFirst, uint64_t nCount, Request& req);
    // Reads a piece the map holds nothing (or, bUntried, an untried area) for; halves it on failure.
    void ReadPiece(uint8_t* p, uint64_t nFirst, uint64_t nCount, bool bUntried, Request& req);
    void OnSectorFailed(uint64_t nSector, bool bUntried);
    uint64_t MeasureBadArea(uint64_t nFirst);  // answers the end of the area starting at nFirst
    // The first sector of [nFrom, nLimit) that reads, found with about 2 log2(distance) single-sector
    // reads (taking the damage as one stretch); nLimit when none does.
    uint64_t FindReadable(uint64_t nFrom, uint64_t nLimit);
    uint64_t DeviceSectors() const { return (m_nDeviceBytes + m_nSectorSize - 1) / m_nSectorSize; }

    uint32_t m_nSectorSize;
    int m_fd = -1;
    uint64_t m_nDeviceBytes = 0;
    std::atomic<int> m_nLastError{0};
    std::atomic<uint64_t> m_nReads{0}, m_nFailed{0};
    mutable std::mutex m_mtx;  // guards the map and the region state
    CKivBadAreaMap m_map;
    uint32_t m_nRegionFails = 0;
    uint64_t m_nRegionLast = 0;
};
