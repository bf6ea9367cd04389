// Where a sparse container stores data: its allocation tables (QCOW2 L1/L2 tables, the VHD and
// VHDX block tables, the grain tables of a monolithic sparse VMDK) read once, one bit per block of
// the virtual disk. The libraries read the data but do not tell where it lies, so holes are found
// here: unallocated blocks read as zeros and need no read. All of it is hostile input: a table
// that does not parse leaves the container without a map, so every byte counts as data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CKivAllocMap {
public:
    enum Kind { kQcow, kVhd, kVhdx, kVmdk };
    // The map of a chain of files (the disk, then its parents): a block counts as data when any
    // file of the chain stores it. Null when a file cannot tell (a fixed disk, a table that does
    // not parse, a layout not covered).
    static std::unique_ptr<CKivAllocMap> Read(const std::vector<std::string>& chain, Kind kind, uint64_t nDiskBytes);

    // As CKivContainer::FindData.
    bool FindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) const;

    uint64_t BlockBytes() const { return m_nBlock; }
    uint64_t StoredBlocks() const;

private:
    // Marks the blocks of one file; false when it cannot tell.
    bool AddFile(const std::string& strPath, Kind kind);
    bool AddQcow(class CKivFile& f, uint64_t nFileBytes);
    bool AddVhd(class CKivFile& f, uint64_t nFileBytes);
    bool AddVhdx(class CKivFile& f, uint64_t nFileBytes);
    bool AddVmdk(class CKivFile& f, uint64_t nFileBytes);
    // Sets the block size on the first file; the files of one chain must agree on it.
    bool UseBlock(uint64_t nBlock);
    void Mark(uint64_t nIndex);

    uint64_t m_nDisk = 0;
    uint64_t m_nBlock = 0;
    std::vector<bool> m_stored;
};
