#include "KivScanResult.h"
#include "KivStreamLE.h"

CKivScanResPart::~CKivScanResPart() = default;

int CKivScanResPart::GetScannerKind() { return KIV_SCANNER_EXT2; }

int CKivScanResPart::Save(IKivStream* pStream) {
    return WriteLE(pStream, m_nType) && WriteLE(pStream, m_nSecPerClus) && WriteLE(pStream, m_nDataStart) &&
           WriteLE(pStream, m_nFirstSector) && WriteLE(pStream, m_nEvidenceA) && WriteLE(pStream, m_nEvidenceB) &&
           WriteLE(pStream, m_nFlags) && WriteLE(pStream, m_nSectorCount) && WriteLE(pStream, m_nEvidenceC) &&
           WriteLE(pStream, m_dScore) && WriteLE(pStream, m_nSelected) && WriteLE(pStream, m_nSectorSize);
}

int CKivScanResPart::Load(IKivStream* pStream) {
    return ReadLE(pStream, &m_nType) && ReadLE(pStream, &m_nSecPerClus) && ReadLE(pStream, &m_nDataStart) &&
           ReadLE(pStream, &m_nFirstSector) && ReadLE(pStream, &m_nEvidenceA) && ReadLE(pStream, &m_nEvidenceB) &&
           ReadLE(pStream, &m_nFlags) && ReadLE(pStream, &m_nSectorCount) && ReadLE(pStream, &m_nEvidenceC) &&
           ReadLE(pStream, &m_dScore) && ReadLE(pStream, &m_nSelected) && ReadLE(pStream, &m_nSectorSize);
}
