#include "Model/CKivTreeBuilderBase.h"

#include "KivLog.h"

bool CKivTreeBuilderBase::Cancelled() {
    if (!m_bCancelled && m_pCallback && m_pCallback->IsCancelled() == -1) m_bCancelled = true;
    return m_bCancelled;
}

bool CKivTreeBuilderBase::NodeBudget() {
    if (m_nNodes == kMaxNodes)
        KivLogA(0, "%s: more than %llu entries, the rest is left out", m_pszWho, static_cast<unsigned long long>(kMaxNodes));
    return ++m_nNodes <= kMaxNodes;
}

bool CKivTreeBuilderBase::Phase(const char* pszName, uint64_t nTotal) {
    if (m_pCallback && m_pCallback->SetPhase(pszName, nTotal) == -1) m_bCancelled = true;
    return !m_bCancelled;
}

bool CKivTreeBuilderBase::Progress(uint64_t nValue) {
    if (m_pCallback && m_pCallback->SetProgress(nValue) == -1) m_bCancelled = true;
    return !m_bCancelled;
}
