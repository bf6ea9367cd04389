#include "CKivFileAttrExt.h"

#include "KivStreamLE.h"

namespace {

// What an inode can hold inside itself (inodes are at most a block of 64 KiB).
constexpr uint32_t kMaxHeld = 65536;

}  // namespace

const char* CKivFileAttrExt::GetDataDamage() {
    switch (m_nDamage) {
        case kBadMap: return "its block map is broken";
        case kNoMap: return "its inode no longer says where its data lay";
        case kReused: return "blocks it held now belong to another file";
        case kUnreadable: return "its inode cannot be read";
        case kBadInodeSum: return "its inode fails its checksum";
        case kBadDirSum: return "the folder block that names it fails its checksum";
        default: return nullptr;
    }
}

int CKivFileAttrExt::Save(IKivStream* pStream) {
    auto nLen = static_cast<uint16_t>(m_strName.size());
    uint8_t nCr = m_bCrTime ? 1 : 0;
    uint32_t nHeld = m_bHeld ? static_cast<uint32_t>(m_held.size()) : ~0u;
    return WriteLE(pStream, nLen) && pStream->Write(m_strName.data(), nLen) && WriteLE(pStream, m_nSize) &&
           WriteLE(pStream, m_nAttributes) && WriteLE(pStream, m_nCTime) && WriteLE(pStream, m_nMTime) &&
           WriteLE(pStream, m_nATime) && WriteLE(pStream, m_nRecordState) && WriteLE(pStream, m_nInode) &&
           WriteLE(pStream, m_nMode) && WriteLE(pStream, m_nDamage) && WriteLE(pStream, nCr) &&
           WriteLE(pStream, nHeld) && (!m_bHeld || m_held.empty() || pStream->Write(m_held.data(), nHeld)) &&
           SaveRuns(pStream);
}

int CKivFileAttrExt::Load(IKivStream* pStream) {
    m_nCheckState = 0;
    m_nUserValue = 0;
    uint16_t nLen = 0;
    uint8_t nCr = 0;
    uint32_t nHeld = 0;
    if (!(ReadLE(pStream, &nLen) && KivReadText(pStream, nLen, m_nMaxName, &m_strName) && ReadLE(pStream, &m_nSize) &&
          ReadLE(pStream, &m_nAttributes) && ReadLE(pStream, &m_nCTime) && ReadLE(pStream, &m_nMTime) &&
          ReadLE(pStream, &m_nATime) && ReadLE(pStream, &m_nRecordState) && ReadLE(pStream, &m_nInode) &&
          ReadLE(pStream, &m_nMode) && ReadLE(pStream, &m_nDamage) && ReadLE(pStream, &nCr) && ReadLE(pStream, &nHeld)))
        return 0;
    m_bCrTime = nCr != 0;
    m_bHeld = nHeld != ~0u;
    m_held.clear();
    if (m_bHeld) {
        if (nHeld > kMaxHeld) return 0;
        m_held.resize(nHeld);
        if (nHeld && !pStream->Read(m_held.data(), nHeld)) return 0;
    }
    return LoadRuns(pStream);
}
