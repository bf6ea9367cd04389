#include "CKivVolBriefExt.h"

#include <vector>

#include "Ext/CKivExtSuperblock.h"
#include "KivScanResult.h"

CKivVolBriefExt::CKivVolBriefExt(IKivDevStor* pDev, uint64_t nFirst) {
    if (!pDev) return;
    const uint32_t z = pDev->GetSectorSize();
    const uint64_t nDev = pDev->GetSectorCount();
    if (z < 512 || nFirst >= nDev) return;
    uint64_t nSectors = (KivExt::kSuperOffset + KivExt::kSuperBytes + z - 1) / z;
    if (nSectors > nDev - nFirst) return;
    std::vector<uint8_t> buf(nSectors * z);
    if (!pDev->ReadSectors(buf.data(), nFirst, nSectors)) return;
    CKivExtSuperblock sb;
    if (!sb.Parse(std::span<const uint8_t>(buf).subspan(KivExt::kSuperOffset, KivExt::kSuperBytes)) ||
        sb.m_nGroupNr != 0)
        return;
    switch (sb.Kind()) {
        case KIV_FS_EXT2: m_nKind = KIV_FSK_EXT2; break;
        case KIV_FS_EXT3: m_nKind = KIV_FSK_EXT3; break;
        default: m_nKind = KIV_FSK_EXT4; break;
    }
    m_nTotal = sb.m_nBlocksCount * sb.BlockSize() / z;
    SetLabel(sb.Label());
    m_strUuid = sb.UuidText();
}
