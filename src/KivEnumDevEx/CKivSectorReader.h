// Reads sectors of an open device and survives damaged media: a failed read answers zeros, the
// unreadable area around it is measured with a few probe reads and remembered, and later reads
// that touch a remembered area answer zeros at once without a device access.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

class CKivSectorReader {
public:
    static constexpr uint64_t kProbeSectors = 2048;
    static constexpr uint64_t kProbeFirstStep = 50;  // multiples of kProbeSectors, then halved
    static constexpr uint64_t kProbeMinStep = 10;

    explicit CKivSectorReader(uint32_t nSectorSize = 512) : m_nSectorSize(nSectorSize) {}
    virtual ~CKivSectorReader() = default;

    // The open device (not owned) and its size in bytes; fd -1 detaches.
    void Attach(int fd, uint64_t nDeviceBytes);
    void SetSectorSize(uint32_t n) { m_nSectorSize = n; }
    uint32_t GetSectorSize() const { return m_nSectorSize; }

    // Reads N sectors at F. 1 on success, including reads answered with zeros because the area is
    // unreadable; 0 for requests of 4 GiB or more and when no device is attached (destination zeroed).
    int Read(void* pBuf, uint64_t nFirst, uint64_t nCount);

    // errno of the last failed device read, 0 when none failed.
    int GetLastError() const { return m_nLastError; }
    // The remembered areas as [first, end) sector pairs, by first sector.
    std::vector<std::pair<uint64_t, uint64_t>> GetBadAreas() const;

protected:
    // One device read of nBytes at byte offset nOffset; answers the bytes read (short at the end of
    // the device) or -1 with errno set. Tests override it to simulate damaged media.
    virtual int64_t RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes);

private:
    // Full success: every byte the device holds in that range arrived; bytes past its end are zero.
    bool ReadWhole(void* pBuf, uint64_t nFirst, uint64_t nCount);
    bool InBadArea(uint64_t nFirst, uint64_t nCount) const;  // under m_mtx
    void MeasureBadArea(uint64_t nFirst);

    uint32_t m_nSectorSize;
    int m_fd = -1;
    uint64_t m_nDeviceBytes = 0;
    int m_nLastError = 0;
    mutable std::mutex m_mtx;                // guards the map
    std::map<uint64_t, uint64_t> m_bad;      // first sector -> end sector (exclusive)
};
