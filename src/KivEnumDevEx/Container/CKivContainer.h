// A disk-image container: the virtual disk that one file or a set of files (segments, extents, a
// parent disk) holds, read by byte offset. The readers of the field's libraries and our own split
// raw reader implement it; a sector store reads the virtual disk through it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CKivContainer {
public:
    struct Info {
        std::string strFormat;  // "E01", "Ex01", "VHD", "VHDX", "VMDK", "QCOW2", "split raw"
        std::string strDetail;  // the kind inside the format: "dynamic", "differencing", "3 segments"...
        uint64_t nBytes = 0;    // the virtual disk
        uint32_t nSectorSize = 512;
        std::vector<std::string> files;  // every file the virtual disk is read from, the first first
        std::string strMd5, strSha1;     // stored digests of the virtual disk (lower-case hex), or empty
    };

    virtual ~CKivContainer() = default;
    CKivContainer() = default;
    CKivContainer(const CKivContainer&) = delete;
    CKivContainer& operator=(const CKivContainer&) = delete;

    // Reads nBytes of the virtual disk at nOffset: the bytes read (short only past its end), or -1
    // with errno set. Serialised: the libraries' handles are not safe for concurrent use.
    int64_t ReadAt(void* pBuf, uint64_t nOffset, uint64_t nBytes);
    // The areas the container found damaged (chunks whose checksum failed) that overlap
    // [nOffset, nOffset + nBytes), read before, as [first, end) bytes; false when there are none.
    bool Damaged(uint64_t nOffset, uint64_t nBytes, std::vector<std::pair<uint64_t, uint64_t>>* pOut);
    // Where data may lie from nOffset on: *pData the first byte at or after it that the container
    // stores (the bytes before it are unallocated and read as zeros), *pEnd the end of that run.
    // False when the container cannot tell; then every byte counts as data.
    bool FindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd);

    const Info& GetInfo() const { return m_info; }

protected:
    virtual int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) = 0;
    virtual bool DoDamaged(uint64_t nOffset, uint64_t nBytes, std::vector<std::pair<uint64_t, uint64_t>>* pOut) {
        return false;
    }
    virtual bool DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) { return false; }

    Info m_info;

private:
    std::mutex m_mtx;
};
