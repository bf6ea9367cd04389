#include "Model/CKivFsScannerBase.h"

#include "KivLog.h"
#include "Model/CKivStateIO.h"
#include "Storage/KivBlockSectors.h"

int CKivFsScannerBase::SetStorage(IKivDevStor* pStor) {
    m_pStor = pStor;
    uint32_t z = pStor ? pStor->GetSectorSize() : 0;
    m_nSectorSize = (z >= 512 && z % 512 == 0) ? z : 512;
    m_nDevSectors = pStor ? pStor->GetSectorCount() : 0;
    return KIV_OK;
}

int CKivFsScannerBase::SetBlockSectors(uint32_t nSectors) {
    m_nBlockSectors = nSectors;
    return KIV_OK;
}

int CKivFsScannerBase::SetRawFileList(CRawFileList* pList) {
    m_pRawList = pList;
    return KIV_OK;
}

int CKivFsScannerBase::AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) {
    if (!m_pStor) return KIV_RETERR(KIV_E_STATE);
    if (nCount == 0) return KIV_OK;
    KivScanBlock b;
    if (!KivGetScanBlock(m_pStor, nFirst, nCount, m_bReadBySector, &m_block, &m_blockBad, &b)) {
        OnUnreadableBlock();
        return KIV_RETERR(KIV_E_IO);
    }
    return AnalyzeView(b, pStats);
}

int CKivFsScannerBase::IoState(CKivStateIO&) { return KIV_RETERR(KIV_E_STATE); }

int CKivFsScannerBase::SaveState(IKivStream* pStream) {
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivStateIO io = CKivStateIO::Saver(pStream);
    return IoState(io);
}

int CKivFsScannerBase::LoadState(IKivStream* pStream) {
    if (!pStream) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivStateIO io = CKivStateIO::Loader(pStream);
    int rc = IoState(io);
    if (KivFailed(rc)) ClearState();
    return rc;
}
