#include "CKivScanState.h"

#include <memory>

#include "KivLog.h"
#include "Model/CKivStateIO.h"

void CKivScanState::IoHeader(CKivStateIO& io) {
    io(nSectorSize)(nSectorCount)(nBlockSectors)(nBlocksDone)(nBlocks)(bComplete)(nFilterMode).Vec(filterExts);
    for (uint64_t& n : stats) io(n);
    io.Vec(scanners, [](CKivStateIO& x, ScannerState& s) {
        x(s.nType);
        uint64_t n = s.bytes.size();
        x(n);
        if (!x.Ok()) return;
        // A scanner's state is bounded by the memory a scan may take; refuse more before allocating.
        if (x.Loading() && n > (uint64_t(1) << 34)) return x.Fail();
        // Loading grows the buffer as the bytes arrive: a file that claims more than it holds
        // fails at its end instead of taking the memory it claims first.
        constexpr uint64_t kChunk = uint64_t(1) << 24;
        if (x.Loading()) s.bytes.clear();
        for (uint64_t off = 0; off < n && x.Ok(); off += kChunk) {
            uint64_t nPart = std::min(n - off, kChunk);
            if (x.Loading()) s.bytes.resize(size_t(off + nPart));
            x.Bytes(s.bytes.data() + off, uint32_t(nPart));
        }
    });
}

KivResult CKivScanState::Save(IKivStream* pStream, const CRawFileList* pList) {
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivStateIO io = CKivStateIO::Saver(pStream);
    uint32_t nMagic = kMagic, nVer = kVersion;
    io(nMagic)(nVer);
    IoHeader(io);
    uint64_t n = pList ? pList->Size() : 0;
    io(n);
    for (uint64_t i = 0; i < n && io.Ok(); ++i) {
        CRawFileInfo& r = *pList->At(size_t(i));
        std::string title = r.m_strTitle, detail = r.m_strDetail;
        io(r.m_nStartSector)(r.m_nSize)(r.m_nTypeId)(r.m_nAnalyserId)(title)(detail)(r.m_nDamage);
    }
    return io.Ok() ? KIV_OK : KIV_RETERR(KIV_E_IO);
}

KivResult CKivScanState::Load(IKivStream* pStream, CRawFileList* pList) {
    if (!pStream || !pList) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivStateIO io = CKivStateIO::Loader(pStream);
    uint32_t nMagic = 0, nVer = 0;
    io(nMagic)(nVer);
    if (!io.Ok() || nMagic != kMagic) return KIV_RETERR(KIV_E_IO);
    if (nVer != kVersion && nVer != 1) return KIV_RETERR(KIV_E_STATE);
    IoHeader(io);
    uint64_t n = 0;
    io(n);
    if (!io.Ok() || n > CKivStateIO::kMaxItems || nBlocksDone > nBlocks || nBlockSectors == 0)
        return KIV_RETERR(KIV_E_IO);
    pList->Clear();
    for (uint64_t i = 0; i < n && io.Ok(); ++i) {
        CRawFileInfo r;
        std::string title, detail;
        io(r.m_nStartSector)(r.m_nSize)(r.m_nTypeId)(r.m_nAnalyserId)(title)(detail);
        if (nVer >= 2) io(r.m_nDamage);
        r.m_strTitle = std::move(title);
        r.m_strDetail = std::move(detail);
        if (io.Ok()) pList->Add(std::move(r));
    }
    if (!io.Ok()) {
        pList->Clear();
        return KIV_RETERR(KIV_E_IO);
    }
    return KIV_OK;
}
