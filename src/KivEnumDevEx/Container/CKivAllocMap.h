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

    // What a VHDX names its block table and metadata regions and the metadata items by.
    struct VhdxGuids {
        static constexpr uint8_t kBat[16] = {0x66, 0x77, 0xc2, 0x2d, 0x23, 0xf6, 0x00, 0x42,
                                             0x9d, 0x64, 0x11, 0x5e, 0x9b, 0xfd, 0x4a, 0x08};
        static constexpr uint8_t kMeta[16] = {0x06, 0xa2, 0x7c, 0x8b, 0x90, 0x47, 0x9a, 0x4b,
                                              0xb8, 0xfe, 0x57, 0x5f, 0x05, 0x0f, 0x88, 0x6e};
        static constexpr uint8_t kFileParams[16] = {0x37, 0x67, 0xa1, 0xca, 0x36, 0xfa, 0x43, 0x4d,
                                                    0xb3, 0xb6, 0x33, 0xf0, 0xaa, 0x44, 0xe7, 0x6b};
        static constexpr uint8_t kSectorSize[16] = {0x1d, 0xbf, 0x41, 0x81, 0x6f, 0xa9, 0x09, 0x47,
                                                    0xba, 0x47, 0xf2, 0x33, 0xa8, 0xfa, 0xab, 0x5f};
    };
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
