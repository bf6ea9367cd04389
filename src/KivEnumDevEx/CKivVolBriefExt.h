// The brief of an ext2/ext3/ext4 volume: its primary superblock, 1024 bytes into the volume.
#pragma once

#include <cstdint>
#include <string>

#include "CKivVolBriefBase.h"

class CKivVolBriefExt : public CKivVolBriefBase {
public:
    CKivVolBriefExt(IKivDevStor* pDev, uint64_t nFirst);

    // The volume's UUID as text ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"); empty when nothing was
    // recognised. The brief interface and the partition records carry no volume identity of any
    // kind, so it is offered here only, to callers that hold an ext brief.
    const std::string& GetUuid() const { return m_strUuid; }

private:
    std::string m_strUuid;
};
