#include "CKivScanSession.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

#include "KivByteReader.h"
#include "platform/KivAtomicFile.h"
#include "platform/KivDigest.h"
#include "platform/KivMediumSerial.h"

namespace {

constexpr uint8_t kMagic[8] = {'U', 'N', 'D', 'S', 'C', 'A', 'N', 0x1A};
// Bounds on what a payload may claim, checked before anything is allocated.
constexpr uint64_t kMaxText = 1u << 16;
constexpr uint64_t kMaxBadAreas = 1u << 24;

class CSha256 {
public:
    void Add(const void* p, size_t n) { m_d.Add(p, n); }
    std::array<uint8_t, 32> Finish() {
        std::array<uint8_t, 32> out{};
        std::vector<uint8_t> d = m_d.Finish();
        if (d.size() == out.size()) std::copy(d.begin(), d.end(), out.begin());
        return out;
    }

private:
    CKivDigest m_d{CKivDigest::Kind::kSha256};
};

void Put(std::vector<uint8_t>& v, uint64_t x, int nBytes) {
    for (int i = 0; i < nBytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void PutText(std::vector<uint8_t>& v, const std::string& s) {
    Put(v, s.size(), 4);
    v.insert(v.end(), s.begin(), s.end());
}
bool TakeText(KivByteReader& r, std::string* pOut) {
    uint32_t n = r.U32();
    if (!r.Ok() || n > kMaxText) return false;
    auto s = r.Span(n);
    if (!r.Ok()) return false;
    pOut->assign(s.begin(), s.end());
    return true;
}

std::string SizeText(uint64_t n) { return std::to_string(n) + " bytes"; }

}  // namespace

std::vector<uint8_t> CKivScanSession::Payload() const {
    std::vector<uint8_t> v;
    v.reserve(engineState.size() + 256 + badAreas.size() * 20);
    PutText(v, medium.strPath);
    Put(v, medium.nBytes, 8);
    Put(v, medium.nSectorSize, 4);
    PutText(v, medium.strSerial);
    v.insert(v.end(), medium.fingerprint.begin(), medium.fingerprint.end());
    PutText(v, strTypes);
    Put(v, nSavedAt, 8);
    Put(v, nBlocksDone, 8);
    Put(v, nBlocks, 8);
    Put(v, bComplete ? 1 : 0, 1);
    Put(v, badAreas.size(), 8);
    for (const BadArea& a : badAreas) {
        Put(v, a.nFirst, 8);
        Put(v, a.nEnd, 8);
        Put(v, a.nKind, 4);
    }
    Put(v, engineState.size(), 8);
    v.insert(v.end(), engineState.begin(), engineState.end());
    return v;
}

bool CKivScanSession::Save(const std::string& strPath, std::string* pWhy) const {
    std::vector<uint8_t> payload = Payload();
    std::vector<uint8_t> head(kMagic, kMagic + 8);
    Put(head, kVersion, 4);
    Put(head, 0, 4);
    Put(head, payload.size(), 8);
    CSha256 sha;
    sha.Add(head.data(), head.size());
    sha.Add(payload.data(), payload.size());
    std::array<uint8_t, 32> sum = sha.Finish();
    return KivWriteFileAtomic(strPath, {{head.data(), head.size()}, {payload.data(), payload.size()}, {sum.data(), sum.size()}},
                              pWhy);
}

bool CKivScanSession::Load(const std::string& strPath, std::string* pWhy) {
    std::vector<uint8_t> bytes;
    std::string strWhy;
    if (!KivReadWholeFile(strPath, &bytes, &strWhy)) {
        if (pWhy) *pWhy = "cannot read the session file " + strWhy;
        return false;
    }
    return Parse(bytes, strPath, pWhy);
}

bool CKivScanSession::Parse(const std::vector<uint8_t>& bytes, const std::string& strName, std::string* pWhy) {
    auto fail = [&](const std::string& s) {
        if (pWhy) *pWhy = strName + ": " + s;
        return false;
    };
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kMagic, 8) != 0) return fail("not a scan session file");
    KivByteReader r(bytes.data(), bytes.size());
    r.Skip(8);
    uint32_t nVersion = r.U32();
    r.U32();
    uint64_t nLen = r.U64();
    if (!r.Ok()) return fail("the session file is cut short");
    if (nVersion != kVersion)
        return fail("a session file of format version " + std::to_string(nVersion) + "; this program reads version " +
                    std::to_string(kVersion));
    if (nLen > bytes.size() - kHeaderBytes || bytes.size() - kHeaderBytes - nLen < kSumBytes)
        return fail("the session file is cut short (" + std::to_string(bytes.size()) + " bytes)");
    if (bytes.size() - kHeaderBytes - nLen != kSumBytes) return fail("the session file has bytes after its end");
    CSha256 sha;
    sha.Add(bytes.data(), kHeaderBytes + nLen);
    std::array<uint8_t, 32> sum = sha.Finish();
    if (std::memcmp(sum.data(), bytes.data() + kHeaderBytes + nLen, kSumBytes) != 0)
        return fail("the session file is damaged (its checksum does not match)");

    KivByteReader p(bytes.data() + kHeaderBytes, nLen);
    CKivScanSession s;
    bool bOk = TakeText(p, &s.medium.strPath);
    s.medium.nBytes = p.U64();
    s.medium.nSectorSize = p.U32();
    bOk = bOk && TakeText(p, &s.medium.strSerial) && p.Bytes(s.medium.fingerprint.data(), 32) && TakeText(p, &s.strTypes);
    s.nSavedAt = p.U64();
    s.nBlocksDone = p.U64();
    s.nBlocks = p.U64();
    s.bComplete = p.U8() != 0;
    uint64_t nBad = p.U64();
    if (!bOk || !p.Ok() || nBad > kMaxBadAreas || nBad * 20 > p.Remaining())
        return fail("the session file is damaged (its contents do not add up)");
    s.badAreas.resize(size_t(nBad));
    for (BadArea& a : s.badAreas) {
        a.nFirst = p.U64();
        a.nEnd = p.U64();
        a.nKind = p.U32();
    }
    uint64_t nState = p.U64();
    if (!p.Ok() || nState != p.Remaining()) return fail("the session file is damaged (its contents do not add up)");
    auto st = p.Span(size_t(nState));
    s.engineState.assign(st.begin(), st.end());
    *this = std::move(s);
    return true;
}

bool CKivScanSession::IdentifyMedium(IKivDevStor* pStor, const std::string& strPath, Medium* pOut, std::string* pWhy,
                                     const std::vector<BadArea>* pSkip) {
    if (!pStor || !pOut) return false;
    Medium m;
    m.strPath = strPath;
    m.nSectorSize = pStor->GetSectorSize();
    uint64_t nSectors = pStor->GetSectorCount();
    m.nBytes = nSectors * m.nSectorSize;
    m.strSerial = KivMediumSerial(strPath);
    CSha256 sha;
    if (m.nSectorSize && nSectors) {
        uint64_t nEach = std::max<uint64_t>(1, kFingerprintBytes / m.nSectorSize);
        nEach = std::min(nEach, nSectors);
        std::vector<uint8_t> buf(size_t(nEach * m.nSectorSize));
        for (uint64_t nFirst : {uint64_t(0), nSectors - nEach}) {
            std::fill(buf.begin(), buf.end(), 0);
            // The pieces between skipped areas, each read on its own.
            static const std::vector<BadArea> kNone;
            const std::vector<BadArea>& skip = pSkip ? *pSkip : kNone;
            uint64_t nAt = nFirst, nEnd = nFirst + nEach;
            while (nAt < nEnd) {
                const BadArea* pIn = nullptr;
                uint64_t nStop = nEnd;
                for (const BadArea& a : skip) {
                    if (a.nFirst <= nAt && nAt < a.nEnd) {
                        pIn = &a;
                        break;
                    }
                    if (a.nFirst > nAt) nStop = std::min(nStop, a.nFirst);
                }
                if (pIn) {
                    nAt = std::min(nEnd, pIn->nEnd);
                    continue;
                }
                if (!pStor->ReadSectors(buf.data() + (nAt - nFirst) * m.nSectorSize, nAt, nStop - nAt)) {
                    if (pWhy) *pWhy = strPath + ": cannot read sectors " + std::to_string(nAt) + " to " +
                                      std::to_string(nStop - 1) + " for the medium's fingerprint";
                    return false;
                }
                nAt = nStop;
            }
            sha.Add(buf.data(), buf.size());
        }
    }
    m.fingerprint = sha.Finish();
    *pOut = std::move(m);
    return true;
}

std::string CKivScanSession::Mismatch(const Medium& saved, const Medium& now) {
    std::string strWhat = "the session was saved for " + saved.strPath;
    if (saved.nSectorSize != now.nSectorSize)
        return strWhat + " read in " + std::to_string(saved.nSectorSize) + "-byte sectors, not " +
               std::to_string(now.nSectorSize);
    if (saved.nBytes != now.nBytes)
        return strWhat + " (" + SizeText(saved.nBytes) + "), not " + now.strPath + " (" + SizeText(now.nBytes) + ")";
    if (!saved.strSerial.empty() && !now.strSerial.empty() && saved.strSerial != now.strSerial)
        return strWhat + " (disk serial " + saved.strSerial + "), not " + now.strPath + " (serial " + now.strSerial + ")";
    if (saved.fingerprint != now.fingerprint)
        return strWhat + ": " + now.strPath + " has other contents at its start or end (another medium, or it was written since)";
    return {};
}
