#include "CKivCompactRunList.h"

#include <algorithm>

#include "CNoneResidentNTFSDataRunList.h"
#include "CResidentNTFSDataRunList.h"
#include "KivByteReader.h"
#include "KivStreamLE.h"

namespace {

// A stored string longer than this is taken as a corrupt stream.
constexpr uint32_t kMaxStoredBytes = 64u << 20;

uint8_t UnsignedBytes(uint64_t v) {
    uint8_t n = 1;
    while (n < 8 && (v >> (8 * n)) != 0) ++n;
    return n;
}

uint8_t SignedBytes(int64_t v) {
    uint8_t n = 1;
    while (n < 8) {
        int64_t lo = -(int64_t(1) << (8 * n - 1));
        int64_t hi = (int64_t(1) << (8 * n - 1)) - 1;
        if (v >= lo && v <= hi) break;
        ++n;
    }
    return n;
}

void PutLE(std::vector<uint8_t>* pOut, uint64_t v, uint8_t n) {
    for (uint8_t i = 0; i < n; ++i) pOut->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Walks the runs. *pGood: bytes of the complete runs before the 0 header or the fault; *pLast: the
// running start after them. Answers true only when a 0 header ends the string.
bool Walk(std::span<const uint8_t> bytes, std::vector<KivDataRun>* pRuns, size_t* pGood, uint64_t* pLast) {
    KivByteReader r(bytes);
    size_t pos = 0;
    uint64_t nCur = 0;
    bool bOk = false;
    while (r.Has(pos, 1)) {
        uint8_t h = r.U8At(pos);
        if (h == 0) {
            bOk = true;
            break;
        }
        size_t nL = h & 0x0F, nO = h >> 4;
        if (nL == 0 || nL > 8 || nO > 8 || !r.Has(pos + 1, nL + nO)) break;
        uint64_t nLen = r.UIntAt(pos + 1, nL);
        uint64_t nStart = KIV_SPARSE_RUN;
        if (nO != 0) {
            nCur += static_cast<uint64_t>(r.SIntAt(pos + 1 + nL, nO));  // wraps like the on-disk arithmetic
            nStart = nCur;
        }
        if (pRuns) pRuns->push_back({nStart, nLen});
        pos += 1 + nL + nO;
    }
    if (pGood) *pGood = pos;
    if (pLast) *pLast = nCur;
    return bOk;
}

}  // namespace

CKivCompactRunList::CKivCompactRunList() : m_bytes{0} {}

void CKivCompactRunList::Clear() {
    m_bytes.assign(1, 0);
    m_nLastStart = 0;
    m_nResident = 0;
}

void CKivCompactRunList::Append(uint64_t nStart, uint64_t nLength) {
    if (nLength == 0) return;
    m_bytes.pop_back();
    uint8_t nL = UnsignedBytes(nLength);
    if (nStart == KIV_SPARSE_RUN) {
        m_bytes.push_back(nL);
        PutLE(&m_bytes, nLength, nL);
    } else {
        int64_t nDelta = static_cast<int64_t>(nStart - m_nLastStart);
        uint8_t nO = SignedBytes(nDelta);
        m_bytes.push_back(static_cast<uint8_t>((nO << 4) | nL));
        PutLE(&m_bytes, nLength, nL);
        PutLE(&m_bytes, static_cast<uint64_t>(nDelta), nO);
        m_nLastStart = nStart;
    }
    m_bytes.push_back(0);
}

bool CKivCompactRunList::SetBytes(std::span<const uint8_t> bytes) {
    size_t nGood = 0;
    bool bOk = Walk(bytes, nullptr, &nGood, &m_nLastStart);
    m_bytes.assign(bytes.begin(), bytes.begin() + nGood);
    m_bytes.push_back(0);
    return bOk;
}

bool CKivCompactRunList::Decode(std::vector<KivDataRun>* pRuns) const { return Decode(m_bytes, pRuns); }

bool CKivCompactRunList::Decode(std::span<const uint8_t> bytes, std::vector<KivDataRun>* pRuns) {
    return Walk(bytes, pRuns, nullptr, nullptr);
}

size_t CKivCompactRunList::Measure(std::span<const uint8_t> bytes) {
    size_t nGood = 0;
    return Walk(bytes, nullptr, &nGood, nullptr) ? nGood + 1 : 0;
}

IDataRunList* CKivCompactRunList::BuildRunList() const {
    std::vector<KivDataRun> runs;
    Decode(&runs);
    if (m_nResident == 0) {
        auto* pList = new CNoneResidentNTFSDataRunList();
        for (const KivDataRun& r : runs) pList->AddRun(r.nStart, r.nLength);
        return pList;
    }
    if (runs.empty()) return nullptr;
    auto* pList = new CResidentNTFSDataRunList(m_nResident);
    pList->AddRun(runs[0].nStart, runs[0].nLength);
    return pList;
}

int CKivCompactRunList::Save(IKivStream* pStream) const {
    return WriteLE(pStream, static_cast<uint32_t>(m_bytes.size())) &&
           pStream->Write(m_bytes.data(), static_cast<uint32_t>(m_bytes.size())) && WriteLE(pStream, m_nResident);
}

int CKivCompactRunList::Load(IKivStream* pStream) {
    Clear();
    uint32_t nCount = 0;
    if (!ReadLE(pStream, &nCount) || nCount > kMaxStoredBytes) return 0;
    // Read in slices so that a corrupt count cannot make us allocate before the bytes exist.
    std::vector<uint8_t> bytes;
    while (bytes.size() < nCount) {
        size_t nChunk = std::min<size_t>(nCount - bytes.size(), 65536);
        size_t nOld = bytes.size();
        bytes.resize(nOld + nChunk);
        if (!pStream->Read(bytes.data() + nOld, static_cast<uint32_t>(nChunk))) return 0;
    }
    uint16_t nResident = 0;
    if (!ReadLE(pStream, &nResident)) return 0;
    bool bOk = nCount == 0 || SetBytes(bytes);
    m_nResident = nResident;
    return bOk;
}
