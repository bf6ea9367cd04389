// The brief of an ext2/ext3/ext4 volume: its primary superblock, 1024 bytes into the volume.
#pragma once

#include <cstdint>

#include "CKivVolBriefBase.h"

class CKivVolBriefExt : public CKivVolBriefBase {
public:
    CKivVolBriefExt(IKivDevStor* pDev, uint64_t nFirst);
};
