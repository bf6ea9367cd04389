#include "KivScanResult.h"
#include "KivStreamLE.h"

CKivScanResPartFAT::~CKivScanResPartFAT() = default;

int CKivScanResPartFAT::GetScannerKind() { return KIV_SCANNER_FAT; }

int CKivScanResPartFAT::Save(IKivStream* pStream) {
    return CKivScanResPart::Save(pStream) && WriteLE(pStream, m_nReservedSectors) &&
           WriteLE(pStream, m_nSectorsPerFat) && WriteLE(pStream, m_nClusterCount) && WriteLE(pStream, m_nRoot) &&
           WriteLE(pStream, m_nEvidenceFlags);
}

int CKivScanResPartFAT::Load(IKivStream* pStream) {
    return CKivScanResPart::Load(pStream) && ReadLE(pStream, &m_nReservedSectors) &&
           ReadLE(pStream, &m_nSectorsPerFat) && ReadLE(pStream, &m_nClusterCount) && ReadLE(pStream, &m_nRoot) &&
           ReadLE(pStream, &m_nEvidenceFlags);
}
