// The slots of an NTFS partition record (CKivScanNTFSPartInfo) that keep what the scan learnt of
// the volume, named once; they are saved with the scan, so a slot's meaning never changes.
#pragma once

#include <cstddef>

namespace KivNtfsSlot {

// In m_aValues32 (slot 0 is the record's version).
enum : size_t {
    kMarks = 1,        // the evidence the volume was found by (KIV_NTFS_MARK_*)
    kRecordBytes = 2,  // file record size the boot sector states; 0: not known
    kSecPerClus = 3,   // full sectors per cluster (the base's 8-bit one is capped)
};
// In m_aValues64 (~0: not known).
enum : size_t {
    kMftCluster = 0,
    kMirrCluster = 1,
    kClusterCount = 2,
    kVolumeClusters = 3,  // as the volume states; ~0 when only the found size is known
};

}  // namespace KivNtfsSlot
