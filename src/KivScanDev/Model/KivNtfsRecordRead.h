// Reading data held inside NTFS file records (resident attribute values) and the first bytes of a
// result node's data, from the device, for recovery and for the tree builders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "IKivDevStor.h"
#include "KivScanResult.h"

enum class KivRecordRead {
    kOk,
    kUnreadable,     // the device could not serve the record's sectors
    kMalformed,      // no sound record header (allocated size 0 or above 4096)
    kFixupMismatch,  // a sector's check value differs: a torn write, the data may be stale
    kFixupMalformed, // the update-sequence array does not fit the record
};

constexpr uint32_t KIV_NTFS_MAX_RECORD = 4096;

// Reads the file record at device sector nFirst (its size from the "allocated" field at offset 28,
// at most 4096 bytes) into pRec and applies its update-sequence fix-ups (512-byte stride). With
// kFixupMismatch and kFixupMalformed the record is still filled.
KivRecordRead KivReadNtfsRecord(IKivDevStor* pDev, uint64_t nFirst, std::vector<uint8_t>* pRec);

// nLen bytes from byte nOffset of the record at nFirst (a resident attribute's value). Answers
// the record's state; pOut is filled unless the record is unreadable or malformed or the range
// lies outside it (then kMalformed).
KivRecordRead KivReadResidentValue(IKivDevStor* pDev, uint64_t nFirst, uint32_t nOffset, uint64_t nLen,
                                   std::vector<uint8_t>* pOut);

// Up to nMax bytes of the start of a file node's data, read through its runs (resident or not)
// with the geometry of GetPartInfo; stops at a sparse run or an unreadable piece.
std::vector<uint8_t> KivReadNodeHead(IKivFileNode* pNode, IKivDevStor* pDev, size_t nMax);

// Up to nMax bytes from the start of runs in clusters of nSpc sectors from sector nBase; stops at
// a sparse run, a run outside the numbers or an unreadable piece.
std::vector<uint8_t> KivReadRunsHead(IKivDevStor* pDev, uint64_t nBase, uint32_t nSpc,
                                     const std::vector<KivDataRun>& runs, uint64_t nMax);
