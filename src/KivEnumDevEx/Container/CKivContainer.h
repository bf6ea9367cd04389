// A disk-image container: the virtual disk that one file or a set of files (segments, extents, a
// parent disk) holds, read by byte offset. The readers of the field's libraries and our own split
// raw reader implement it; a sector store reads the virtual disk through it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
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
    // Whether part of [nOffset, nOffset + nBytes), read before, lies in an area the container
    // found damaged (a chunk whose checksum failed).
    bool IsDamaged(uint64_t nOffset, uint64_t nBytes);
    // Where data may lie from nOffset on: *pData the first byte at or after it that the container
    // stores (the bytes before it are unallocated and read as zeros), *pEnd the end of that run.
    // False when the container cannot tell; then every byte counts as data.
    bool FindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd);

    const Info& GetInfo() const { return m_info; }

protected:
    virtual int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) = 0;
    virtual bool DoIsDamaged(uint64_t nOffset, uint64_t nBytes) { return false; }
    virtual bool DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) { return false; }

    Info m_info;

private:
    std::mutex m_mtx;
};
