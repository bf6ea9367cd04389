#include "CKivScanResPartExt.h"

#include "Model/KivStreamLE.h"

CKivScanResPartExt::~CKivScanResPartExt() = default;

int CKivScanResPartExt::GetScannerKind() { return KIV_SCANNER_EXT2; }

int CKivScanResPartExt::Save(IKivStream* pStream) {
    return CKivScanResPart::Save(pStream) && WriteLE(pStream, m_nBlockSize) && WriteLE(pStream, m_nBlocksCount) &&
           WriteLE(pStream, m_nSuperSector) && WriteLE(pStream, m_nSuperOffset) && WriteLE(pStream, m_nBackups) &&
           WriteLE(pStream, m_nEvidenceFlags) && pStream->Write(m_uuid.data(), 16);
}

int CKivScanResPartExt::Load(IKivStream* pStream) {
    return CKivScanResPart::Load(pStream) && ReadLE(pStream, &m_nBlockSize) && ReadLE(pStream, &m_nBlocksCount) &&
           ReadLE(pStream, &m_nSuperSector) && ReadLE(pStream, &m_nSuperOffset) && ReadLE(pStream, &m_nBackups) &&
           ReadLE(pStream, &m_nEvidenceFlags) && pStream->Read(m_uuid.data(), 16);
}
