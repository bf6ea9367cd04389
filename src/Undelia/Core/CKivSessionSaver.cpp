#include "CKivSessionSaver.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include "CKivOutputGuard.h"
#include "IKivScanDev.h"
#include "KivLog.h"

namespace {

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Bytes an engine writes to its stream, gathered in memory.
class CByteSink : public IKivStream {
public:
    int Read(void*, uint32_t) override { return 0; }
    int Write(const void* p, uint32_t n) override {
        const auto* b = static_cast<const uint8_t*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
        return 1;
    }
    std::vector<uint8_t> m_bytes;
};

class CByteSource : public IKivStream {
public:
    explicit CByteSource(const std::vector<uint8_t>& v) : m_v(v) {}
    int Read(void* p, uint32_t n) override {
        if (n > m_v.size() - m_nPos) return 0;
        std::copy(m_v.begin() + static_cast<std::ptrdiff_t>(m_nPos), m_v.begin() + static_cast<std::ptrdiff_t>(m_nPos + n),
                  static_cast<uint8_t*>(p));
        m_nPos += n;
        return 1;
    }
    int Write(const void*, uint32_t) override { return 0; }

private:
    const std::vector<uint8_t>& m_v;
    size_t m_nPos = 0;
};

// The bad areas the medium's reader has met so far (put back by KivTakeOverSession).
std::vector<CKivScanSession::BadArea> BadAreasOf(IKivDevStor* pStor) {
    KivBadRanges areas;
    if (pStor) pStor->GetBadAreas(&areas);
    std::vector<CKivScanSession::BadArea> out;
    out.reserve(areas.size());
    for (const KivBadRange& r : areas) out.push_back({r.nFirst, r.nEnd, r.nKind});
    return out;
}

// A saved map as the storage takes it: only well-formed areas of the two known kinds.
KivBadRanges RangesOf(const std::vector<CKivScanSession::BadArea>& areas, uint64_t nSectors) {
    KivBadRanges out;
    for (const CKivScanSession::BadArea& a : areas) {
        uint64_t nEnd = std::min(a.nEnd, nSectors);
        if (a.nFirst >= nEnd || (a.nKind != KIV_BAD_FAILED && a.nKind != KIV_BAD_UNTRIED)) continue;
        out.push_back({a.nFirst, nEnd, a.nKind});
    }
    return out;
}

}  // namespace

CKivSessionSaver::CKivSessionSaver(std::string strFile, CKivScanSession::Medium medium, std::string strTypes,
                                   IKivDevStor* pStor, double dEverySeconds)
    : m_strFile(std::move(strFile)),
      m_medium(std::move(medium)),
      m_strTypes(std::move(strTypes)),
      m_pStor(pStor),
      m_dEvery(dEverySeconds),
      m_dLast(NowSeconds()) {}

int CKivSessionSaver::WantCheckpoint(uint64_t) { return NowSeconds() - m_dLast >= m_dEvery ? 1 : 0; }

void CKivSessionSaver::OnCheckpoint(const uint8_t* pState, uint64_t nBytes, uint64_t nBlocksDone, int bComplete) {
    std::string strWhy;
    // Once the map held areas, every later save takes the fingerprint again (retried areas that
    // read after all leave the map).
    KivBadRanges areas;
    if (m_pStor && m_pStor->GetBadAreas(&areas) && !areas.empty()) m_bHadBadAreas = true;
    bool bOk = Write(m_strFile, m_medium, m_strTypes, m_pStor, pState, nBytes, nBlocksDone, bComplete != 0,
                     m_bHadBadAreas, &strWhy);
    m_dLast = NowSeconds();
    if (!bOk) {
        std::lock_guard<std::mutex> lock(m_mtx);
        if (m_strError.empty()) m_strError = strWhy;
        return;
    }
    uint64_t n = ++m_nSaves;
    if (m_fnAfterSave) m_fnAfterSave(n);
}

std::string CKivSessionSaver::FirstError() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_strError;
}

bool CKivSessionSaver::Write(const std::string& strFile, const CKivScanSession::Medium& medium,
                             const std::string& strTypes, IKivDevStor* pStor, const uint8_t* pState, uint64_t nBytes,
                             uint64_t nDone, bool bComplete, bool bRefresh, std::string* pWhy) {
    if (KivOutputVerdict v = CKivOutputGuard::Check(medium.strPath, strFile, KivOutput::kSession); v.bRefused) {
        if (pWhy) *pWhy = v.strText;
        return false;
    }
    CKivScanSession s;
    s.medium = medium;
    s.badAreas = BadAreasOf(pStor);
    // The fingerprint taken before the scan read sectors the map now holds; a restore reads the
    // ends as zeros there, without touching them. Taken again the same way, it agrees.
    if (bRefresh || !s.badAreas.empty()) {
        CKivScanSession::Medium now;
        if (CKivScanSession::IdentifyMedium(pStor, medium.strPath, &now, nullptr, &s.badAreas)) {
            s.medium.fingerprint = now.fingerprint;
            s.badAreas = BadAreasOf(pStor);  // with what that read met
        }
    }
    s.strTypes = strTypes;
    s.nSavedAt = static_cast<uint64_t>(std::time(nullptr));
    s.nBlocksDone = nDone;
    uint32_t nBlock = KivScanBlockSectors(medium.nSectorSize);
    uint64_t nSectors = medium.nSectorSize ? medium.nBytes / medium.nSectorSize : 0;
    s.nBlocks = nBlock ? nSectors / nBlock + (nSectors % nBlock ? 1 : 0) : 0;
    s.bComplete = bComplete;
    s.engineState.assign(pState, pState + nBytes);
    return s.Save(strFile, pWhy);
}

bool CKivSessionSaver::SaveNow(IKivScanDev* pEngine, const std::string& strFile, const CKivScanSession::Medium& medium,
                               const std::string& strTypes, IKivDevStor* pStor, std::string* pWhy) {
    CByteSink sink;
    KivResult rc = pEngine ? pEngine->SaveScanState(&sink) : KIV_ERR(KIV_E_INVALIDARG);
    if (KivFailed(rc)) {
        if (pWhy) *pWhy = "the scan engine has no finished or stopped scan to save (error " + std::to_string(KivErrNo(rc)) + ")";
        return false;
    }
    uint64_t nDone = 0, nTotal = 0;
    int bComplete = 0;
    pEngine->GetScanPosition(&nDone, &nTotal, &bComplete);
    return Write(strFile, medium, strTypes, pStor, sink.m_bytes.data(), sink.m_bytes.size(), nDone, bComplete != 0,
                 false, pWhy);
}

bool KivCheckSessionMedium(const CKivScanSession& s, const std::string& strFile, IKivDevStor* pStor,
                           const std::string& strPath, std::string* pWhy) {
    CKivScanSession::Medium now;
    if (!CKivScanSession::IdentifyMedium(pStor, strPath, &now, pWhy, &s.badAreas)) return false;
    if (std::string strDiff = CKivScanSession::Mismatch(s.medium, now); !strDiff.empty()) {
        if (pWhy) *pWhy = strFile + ": " + strDiff;
        return false;
    }
    return true;
}

bool KivTakeOverSession(const CKivScanSession& s, const std::string& strFile, IKivScanDev* pEngine,
                        IKivDevStor* pStor, std::string* pWhy) {
    // Before anything reads the medium: failed areas are never read again, untried ones are left
    // to tree building and recovery as after the scan.
    if (KivBadRanges areas = RangesOf(s.badAreas, pStor->GetSectorCount()); !areas.empty()) pStor->AddBadAreas(areas);
    CByteSource src(s.engineState);
    KivResult rc = pEngine->LoadScanState(&src);
    if (KivFailed(rc)) {
        if (pWhy)
            *pWhy = strFile + (KivErrNo(rc) == KIV_E_STATE
                                   ? ": the scan engine cannot take this session over (it was made by another "
                                     "version or with other scanners)"
                                   : ": the scan state in the session file is damaged");
        return false;
    }
    return true;
}
