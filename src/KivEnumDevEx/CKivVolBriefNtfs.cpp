#include "CKivVolBriefNtfs.h"

#include <string>
#include <vector>

#include "Ntfs/CKivNtfsBootSector.h"
#include "Ntfs/CKivNtfsFileRecord.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint64_t kVolumeRecord = 3;     // $Volume
constexpr size_t kLabelValueLimit = 1024;  // the name must lie inside the record's first 1 KiB

}  // namespace

CKivVolBriefNtfs::CKivVolBriefNtfs(IKivDevStor* pDev, uint64_t nFirst) {
    if (!pDev) return;
    const uint32_t nSize = pDev->GetSectorSize();
    if (nSize < 512) return;
    std::vector<uint8_t> boot(nSize);
    if (!pDev->ReadSectors(boot.data(), nFirst, 1)) return;
    KivNtfsBootSector bs;
    if (!KivParseNtfsBootSector(boot, &bs)) return;
    m_nKind = KIV_FSK_NTFS;
    // The boot sector counts its own sectors; a device with other sectors counts differently.
    m_nTotal = bs.nBytesPerSector == nSize ? bs.nTotalSectors
                                           : uint64_t((unsigned __int128)bs.nTotalSectors * bs.nBytesPerSector / nSize);

    const uint32_t nRecord = bs.RecordBytes();
    if (nRecord == 0) return;
    unsigned __int128 nOff = (unsigned __int128)bs.nMftCluster * bs.nSecPerClus * bs.nBytesPerSector +
                             kVolumeRecord * nRecord;
    unsigned __int128 nSector = nFirst + nOff / nSize;
    const uint64_t nInSector = uint64_t(nOff % nSize);
    const uint64_t nSectors = (nInSector + nRecord + nSize - 1) / nSize;
    if (nSector + nSectors > pDev->GetSectorCount()) return;
    std::vector<uint8_t> buf(nSectors * nSize);
    if (!pDev->ReadSectors(buf.data(), uint64_t(nSector), nSectors)) return;
    CKivNtfsFileRecord rec;
    if (!rec.Parse(std::span<const uint8_t>(buf).subspan(nInSector, nRecord))) return;
    for (const KivNtfsAttr& a : rec.Attributes()) {
        if (a.nType != KIV_NTFS_AT_VOLUME_NAME || a.bNonResident) continue;
        if (a.nValueOffset > kLabelValueLimit || a.value.size() > kLabelValueLimit - a.nValueOffset) break;
        std::u16string name;
        for (size_t i = 0; i + 1 < a.value.size(); i += 2) name.push_back(char16_t(a.value[i] | (a.value[i + 1] << 8)));
        SetLabel(KivUtf16ToUtf8(name));
        break;
    }
}
