// Implemented by file attributes that can read their record's "$EFS" metadata from the device
// (the key blobs an encrypted NTFS file needs to be imported again).
#pragma once

#include <cstdint>
#include <vector>

class IKivDevStor;

class IKivEfsMetadata {
public:
    virtual ~IKivEfsMetadata() = default;
    // Fills out with the metadata bytes; false when the entry has none or they cannot be read.
    virtual bool ReadEfsMetadata(IKivDevStor* pReader, uint64_t nBaseSector, uint32_t nSecPerClus,
                                 std::vector<uint8_t>* pOut) = 0;
};
