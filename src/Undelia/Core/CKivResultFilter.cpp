#include "CKivResultFilter.h"

#include <cstring>

namespace {

std::string Upper(const char* psz) {
    std::string s(psz);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

void CKivResultFilter::SetKey(const std::string& strKey) { m_strKey = Upper(strKey.c_str()); }

uint64_t CKivResultFilter::UnitBytes(SizeUnit unit) {
    switch (unit) {
        case UNIT_KB: return 1024ull;
        case UNIT_MB: return 1024ull * 1024;
        case UNIT_GB: return 1024ull * 1024 * 1024;
        default: return 1;
    }
}

bool CKivResultFilter::SetSizeTest(SizeKind kind, uint64_t nValue, SizeUnit unit) {
    uint64_t u = UnitBytes(unit);
    if (nValue > UINT64_MAX / u) return false;
    m_bLarger = m_bSmaller = false;
    if (kind == SIZE_MORE_THAN)
        SetLargerThan(nValue * u);
    else
        SetSmallerThan(nValue * u);
    return true;
}

void CKivResultFilter::SetLargerThan(uint64_t nBytes) {
    m_bLarger = true;
    m_nLarger = nBytes;
}

void CKivResultFilter::SetSmallerThan(uint64_t nBytes) {
    m_bSmaller = true;
    m_nSmaller = nBytes;
}

void CKivResultFilter::SetDateTest(DateKind kind, uint64_t nStart, uint64_t nEnd) {
    Range& r = kind == DATE_CREATE ? m_created : m_modified;
    r.bOn = true;
    r.nStart = nStart;
    r.nEnd = nEnd;
}

void CKivResultFilter::ClearTests() {
    m_bLarger = m_bSmaller = false;
    m_created = m_modified = Range{};
}

bool CKivResultFilter::IsEmpty() const {
    return m_strKey.empty() && !m_bLarger && !m_bSmaller && !m_created.bOn && !m_modified.bOn;
}

bool CKivResultFilter::Accepts(IKivFileNode* pNode) const {
    IKivFileAttr* a = pNode ? pNode->GetAttr() : nullptr;
    if (a && *a->GetName() && !m_strKey.empty() && Upper(a->GetName()).find(m_strKey) == std::string::npos)
        return false;
    if (!m_bLarger && !m_bSmaller && !m_created.bOn && !m_modified.bOn) return true;
    if (!a) return false;
    uint64_t n = a->GetSize();
    if (m_bLarger && !(n > m_nLarger)) return false;
    if (m_bSmaller && !(n < m_nSmaller)) return false;
    if (m_created.bOn) {
        // 0 is no time at all (carved files): it lies in no range, however open.
        uint64_t t = a->GetCreationTime();
        if (t == 0 || t < m_created.nStart || t > m_created.nEnd) return false;
    }
    if (m_modified.bOn) {
        uint64_t t = a->GetModificationTime();
        if (t == 0 || t < m_modified.nStart || t > m_modified.nEnd) return false;
    }
    return true;
}
