#include "KivScanResult.h"
#include "KivStreamLE.h"

CKivScanNTFSPartInfo::~CKivScanNTFSPartInfo() = default;

int CKivScanNTFSPartInfo::GetScannerKind() { return KIV_SCANNER_NTFS; }

int CKivScanNTFSPartInfo::Save(IKivStream* pStream) {
    if (!CKivScanResPart::Save(pStream) || !WriteLE(pStream, m_nValue8)) return 0;
    for (uint32_t v : m_aValues32)
        if (!WriteLE(pStream, v)) return 0;
    for (uint64_t v : m_aValues64)
        if (!WriteLE(pStream, v)) return 0;
    return 1;
}

int CKivScanNTFSPartInfo::Load(IKivStream* pStream) {
    if (!CKivScanResPart::Load(pStream) || !ReadLE(pStream, &m_nValue8)) return 0;
    for (uint32_t& v : m_aValues32)
        if (!ReadLE(pStream, &v)) return 0;
    for (uint64_t& v : m_aValues64)
        if (!ReadLE(pStream, &v)) return 0;
    return 1;
}
