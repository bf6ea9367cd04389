// The brief of an NTFS volume: its boot sector and the name in the $Volume record.
#pragma once

#include "CKivVolBriefBase.h"

class CKivVolBriefNtfs : public CKivVolBriefBase {
public:
    CKivVolBriefNtfs(IKivDevStor* pDev, uint64_t nFirst);
};
