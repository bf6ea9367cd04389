#include "CKivDataRunList.h"

#include <algorithm>

#include "KivStreamLE.h"

int CKivDataRunList::Save(IKivStream* pStream) {
    if (m_runs.size() > UINT32_MAX || !WriteLE(pStream, static_cast<uint32_t>(m_runs.size()))) return 0;
    for (const KivDataRun& r : m_runs)
        if (!WriteLE(pStream, r.nStart) || !WriteLE(pStream, r.nLength)) return 0;
    return 1;
}

int CKivDataRunList::Load(IKivStream* pStream) {
    uint32_t nCount = 0;
    if (!ReadLE(pStream, &nCount)) return 0;
    // The count is not trusted for the allocation: runs arrive one by one until the stream ends.
    m_runs.reserve(m_runs.size() + std::min<uint32_t>(nCount, 4096));
    for (uint32_t i = 0; i < nCount; ++i) {
        KivDataRun r{};
        if (!ReadLE(pStream, &r.nStart) || !ReadLE(pStream, &r.nLength)) return 0;
        AddRun(r.nStart, r.nLength);
    }
    return 1;
}

const KivDataRun* CKivDataRunList::First() {
    m_nCursor = 0;
    return m_runs.empty() ? nullptr : &m_runs[0];
}

const KivDataRun* CKivDataRunList::Next() {
    if (m_nCursor >= m_runs.size()) return nullptr;
    if (++m_nCursor >= m_runs.size()) return nullptr;
    return &m_runs[m_nCursor];
}

void CKivDataRunList::AddRun(uint64_t nStart, uint64_t nLength) { m_runs.push_back({nStart, nLength}); }
