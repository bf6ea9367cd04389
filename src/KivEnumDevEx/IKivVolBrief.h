// A short summary of the file system that starts at a sector of a device: its kind, the sectors it
// claims and its label. All three are settled when the brief is made; the device is not kept.
#pragma once

#include <cstddef>
#include <cstdint>

class IKivVolBrief {
public:
    virtual ~IKivVolBrief() = default;
    virtual int32_t GetFsKind() = 0;          // KIV_FSK_*; KIV_FSK_UNKNOWN when nothing was recognised
    virtual uint64_t GetTotalSectors() = 0;   // in sectors of the device; 0 when nothing was recognised
    virtual void GetLabel(char* pDst, size_t nSize) = 0;  // copies min(nSize, 100) bytes
};
