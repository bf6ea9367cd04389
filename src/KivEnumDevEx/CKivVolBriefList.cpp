#include "CKivVolBriefList.h"

#include "CKivVolBriefExFat.h"
#include "CKivVolBriefExt.h"
#include "CKivVolBriefFat.h"
#include "CKivVolBriefNtfs.h"

CKivVolBriefList::CKivVolBriefList(IKivDevStor* pDev, uint64_t nFirst) {
    m_briefs.push_back(std::make_unique<CKivVolBriefNtfs>(pDev, nFirst));
    if (m_briefs.back()->GetFsKind() != KIV_FSK_UNKNOWN) return;  // the first that recognises wins
    m_briefs.push_back(std::make_unique<CKivVolBriefExFat>(pDev, nFirst));
    if (m_briefs.back()->GetFsKind() != KIV_FSK_UNKNOWN) return;
    m_briefs.push_back(std::make_unique<CKivVolBriefExt>(pDev, nFirst));
    if (m_briefs.back()->GetFsKind() != KIV_FSK_UNKNOWN) return;
    m_briefs.push_back(std::make_unique<CKivVolBriefFat>(pDev, nFirst));
}

IKivVolBrief* CKivVolBriefList::Lookup() const {
    for (const auto& p : m_briefs)
        if (p->GetFsKind() != KIV_FSK_UNKNOWN) return p.get();
    return m_briefs.back().get();
}
