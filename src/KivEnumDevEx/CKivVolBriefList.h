// The briefs of one position, NTFS first and FAT second; Lookup answers the first that recognised
// something, else the last one (kind unknown), so callers always test the kind.
#pragma once

#include <memory>
#include <vector>

#include "IKivVolBrief.h"

class IKivDevStor;

class CKivVolBriefList {
public:
    CKivVolBriefList(IKivDevStor* pDev, uint64_t nFirst);
    IKivVolBrief* Lookup() const;

private:
    std::vector<std::unique_ptr<IKivVolBrief>> m_briefs;
};
