#include "CKivDirBuild.h"

#include <string>

int CKivDirBuild::SetPhase(const char* pszText, uint64_t nTotal) {
    m_nTotal = nTotal;
    if (m_pSink) m_pSink->OnBuildPhase(pszText ? pszText : "", nTotal);
    return Answer();
}

int CKivDirBuild::SetProgress(uint64_t nValue) {
    if (m_pSink) m_pSink->OnBuildProgress(nValue, m_nTotal);
    return Answer();
}
