#include "KivDiskText.h"

#include <cerrno>
#include <cstring>

#include "platform/KivBlockDev.h"

void KivCopyText(char* pDst, size_t nCap, const std::string& s) {
    if (!pDst || nCap == 0) return;
    size_t n = s.size() < nCap - 1 ? s.size() : nCap - 1;
    // Back off from the middle of a multi-byte character.
    if (n < s.size())
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    std::memcpy(pDst, s.data(), n);
    std::memset(pDst + n, 0, nCap - n);
}

const char* KivBusName(uint32_t nBusType) {
    switch (nBusType) {
        case KIV_BUS_SCSI: return "SCSI Disk Device";
        case KIV_BUS_ATAPI: return "ATAPI Bus";
        case KIV_BUS_ATA: return "ATA Bus";
        case KIV_BUS_1394: return "1394 Disk Device";
        case KIV_BUS_SSA: return "SSA Disk Device";
        case KIV_BUS_FIBRE: return "FIBER Disk Device";
        case KIV_BUS_USB: return "USB Device";
        case KIV_BUS_RAID: return "RAID Disk Device";
        case KIV_BUS_ISCSI: return "iSCSI Disk Device";
        case KIV_BUS_SAS: return "SAS Disk Device";
        case KIV_BUS_SATA: return "SATA Disk Device";
        case KIV_BUS_SD: return "SD Card Device";
        case KIV_BUS_MMC: return "MMC Device";
        case KIV_BUS_VIRTUAL: return "Virtual Disk Device";
        case KIV_BUS_FILE: return "File Backed Device";
        case KIV_BUS_NVME: return "NVMe Disk Device";
        default: return "";
    }
}

bool KivVendorIsEmpty(const char* pszVendor) { return !pszVendor || !*pszVendor || *pszVendor == '('; }

std::string KivDiskDescription(const KivDiskDescriptor& d) {
    std::string s;
    if (!KivVendorIsEmpty(d.szVendor)) s = std::string(d.szVendor) + "  ";
    return s + d.szProduct + "  " + d.szBusName;
}

std::string KivOpenProblemText(const std::string& strPath, int err, bool bImage) {
    const std::string what = bImage ? "image " : "";
    switch (err) {
        case 0: return what + "'" + strPath + "' is empty";
        case ENOTBLK: return "'" + strPath + "' is neither a regular file nor a block device";
        case ENOENT: return what + "'" + strPath + "' does not exist";
        case EACCES:
        case EPERM:
            if (std::string why = KivLastOpenerReason(); !why.empty()) return "cannot read " + strPath + ": " + why;
            if (bImage) return "cannot read image '" + strPath + "': permission denied";
            if (KivIsAdministrator())
                return "cannot read " + strPath + ": " + std::strerror(err) +
                       "; the system refuses raw access to it even for root (a container or security policy)";
            return "cannot read " + strPath +
                   ": permission denied; reading raw disks needs administrator rights (granted through udisks2, "
                   "or by membership of group 'disk')";
        default: return "cannot read " + what + "'" + strPath + "': " + std::strerror(err);
    }
}
