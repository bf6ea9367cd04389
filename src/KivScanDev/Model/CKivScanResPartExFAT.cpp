#include "KivScanResult.h"
#include "KivStreamLE.h"

CKivScanResPartExFAT::~CKivScanResPartExFAT() = default;

int CKivScanResPartExFAT::GetScannerKind() { return KIV_SCANNER_EXFAT; }

int CKivScanResPartExFAT::Save(IKivStream* pStream) {
    return CKivScanResPart::Save(pStream) && WriteLE(pStream, m_nSecPerClus32) && WriteLE(pStream, m_nFatOffset) &&
           WriteLE(pStream, m_nFatSectors) && WriteLE(pStream, m_nFatCount) && WriteLE(pStream, m_nClusterCount) &&
           WriteLE(pStream, m_nRootCluster) && WriteLE(pStream, m_nSerial) && WriteLE(pStream, m_nVolumeFlags) &&
           WriteLE(pStream, m_nEvidenceFlags);
}

int CKivScanResPartExFAT::Load(IKivStream* pStream) {
    return CKivScanResPart::Load(pStream) && ReadLE(pStream, &m_nSecPerClus32) && ReadLE(pStream, &m_nFatOffset) &&
           ReadLE(pStream, &m_nFatSectors) && ReadLE(pStream, &m_nFatCount) && ReadLE(pStream, &m_nClusterCount) &&
           ReadLE(pStream, &m_nRootCluster) && ReadLE(pStream, &m_nSerial) && ReadLE(pStream, &m_nVolumeFlags) &&
           ReadLE(pStream, &m_nEvidenceFlags);
}
