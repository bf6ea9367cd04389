#include "CKivEnumDevEx.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "CKivDevDisk.h"
#include "CKivDevVol.h"
#include "CKivVolBriefList.h"
#include "CPartitionTableAnalyze.h"
#include "KivDiskText.h"
#include "Ldm/KivDynamicVolumes.h"
#include "KivLog.h"
#include "platform/KivSysBlock.h"
#include "platform/KivBlockDev.h"

namespace {

const char* EnvOr(const char* pszName, const char* pszDefault) {
    const char* p = std::getenv(pszName);
    return p && *p ? p : pszDefault;
}

}  // namespace

CKivEnumDevEx::CKivEnumDevEx()
    : m_strSysfs(EnvOr("UNDELIA_SYSFS_ROOT", KivSysfsRoot())),
      m_strDev(EnvOr("UNDELIA_DEV_ROOT", KivDevRoot())),
      m_strMountInfo(EnvOr("UNDELIA_MOUNTINFO", KivMountInfoPath())) {}

KivResult CKivEnumDevEx::SetImagePaths(const char* const* ppPaths, uint32_t nCount, uint32_t nSectorSize) {
    if (nCount && !ppPaths) return KIV_RETERR(KIV_E_INVALIDARG);
    if (nSectorSize % 512 != 0) return KIV_RETERR(KIV_E_SECTORSIZE);
    m_images.clear();
    for (uint32_t i = 0; i < nCount; ++i)
        if (ppPaths[i]) m_images.emplace_back(ppPaths[i]);
    m_nImageSectorSize = nSectorSize;
    return KIV_OK;
}

KivResult CKivEnumDevEx::SetDevOpener(IKivDevOpener* pOpener) {
    KivSetDevOpener(pOpener);
    return KIV_OK;
}

KivResult CKivEnumDevEx::SetSystemRoots(const char* pszSysfs, const char* pszDev, const char* pszMountInfo) {
    if (pszSysfs) m_strSysfs = pszSysfs;
    if (pszDev) m_strDev = pszDev;
    if (pszMountInfo) m_strMountInfo = pszMountInfo;
    return KIV_OK;
}

int CKivEnumDevEx::GetProblem(uint32_t nIndex, KivDevProblem* pOut) {
    if (!pOut || nIndex >= m_problems.size()) return 0;
    *pOut = m_problems[nIndex];
    return 1;
}

void CKivEnumDevEx::AddProblem(const std::string& strDevice, int err, const std::string& strText) {
    KivDevProblem p;
    std::memset(&p, 0, sizeof p);
    KivCopyText(p.szDevice, sizeof p.szDevice, strDevice);
    p.nErrno = err;
    KivCopyText(p.szText, sizeof p.szText, strText);
    m_problems.push_back(p);
    KivLogA(0, "EnumDisk: %s", p.szText);
}

KivResult CKivEnumDevEx::PiDisk2DiskInfo(IKivDevDisk* pDisk, DiskInfo* pOut) {
    if (!pDisk || !pOut) return KIV_RETERR(KIV_E_INVALIDARG);
    std::memset(pOut, 0, sizeof *pOut);
    KivDiskDescriptor d;
    pDisk->GetDescriptor(&d);
    if (KivVendorIsEmpty(d.szVendor)) d.szVendor[0] = 0;
    pOut->nUsb = d.nBusType == KIV_BUS_USB;
    KivCopyText(pOut->szDesc, sizeof pOut->szDesc, std::string(d.szProduct) + "  " + d.szBusName);
    pOut->pDisk = pDisk;
    pOut->pStor = pDisk;
    pOut->nMediaType = static_cast<int32_t>(pDisk->GetMediaType());
    pOut->nDynamic = pDisk->IsDynamic() ? 1 : 0;
    KivCopyText(pOut->szPath, sizeof pOut->szPath, pDisk->GetPath());
    return KIV_OK;
}

int32_t CKivEnumDevEx::MountFlagsOfDisk(CKivDevDisk* pDisk) const {
    if (pDisk->IsImage()) return 0;
    std::vector<KivMountEntry> mounts = KivReadMountInfo(m_strMountInfo);
    std::vector<std::pair<uint32_t, uint32_t>> devs{{pDisk->SysFacts().nMajor, pDisk->SysFacts().nMinor}};
    for (const KivSysPartition& p : KivListSysPartitions(pDisk->SysFacts().strSysDir)) devs.emplace_back(p.nMajor, p.nMinor);
    int32_t n = 0;
    for (auto [ma, mi] : devs) {
        bool bRw = false;
        if (ma != 0 && KivFindMount(mounts, ma, mi, &bRw)) n |= KIV_MOUNTED | (bRw ? KIV_MOUNTED_RW : 0);
    }
    return n;
}

KivResult CKivEnumDevEx::EnumDisk(std::vector<DiskInfo>* pDisks) {
    if (!pDisks) return KIV_RETERR(KIV_E_INVALIDARG);
    pDisks->clear();
    m_problems.clear();
    std::vector<CKivDevDisk*> found;
    // No kernel tree to list (Windows so far): the image files alone.
    std::vector<KivSysDisk> sys = m_strSysfs.empty() ? std::vector<KivSysDisk>() : KivListSysDisks(m_strSysfs, m_strDev);
    for (size_t i = 0; i < sys.size(); ++i) {
        auto* p = new CKivDevDisk(static_cast<int32_t>(i), sys[i]);
        int err = 0;
        if (p->OpenFirst(&err)) {
            found.push_back(p);
            continue;
        }
        // Unopenable numbers are skipped, but the user learns why (no permission, most often).
        AddProblem(sys[i].strDevPath, err, KivOpenProblemText(sys[i].strDevPath, err, false));
        p->Release();
    }
    for (const std::string& path : m_images) {
        auto* p = new CKivDevDisk(path, m_nImageSectorSize);
        int err = 0;
        if (p->OpenFirst(&err)) {
            found.push_back(p);
            continue;
        }
        AddProblem(path, err, KivOpenProblemText(path, err, true));
        p->Release();
    }
    for (CKivDevDisk* p : found) {
        DiskInfo r;
        PiDisk2DiskInfo(p, &r);
        r.nSource = p->IsImage() ? KIV_DISK_IMAGE : KIV_DISK_KERNEL;
        r.nRemovable = p->SysFacts().bRemovable ? 1 : 0;
        r.nMountFlags = MountFlagsOfDisk(p);
        KivCopyText(r.szName, sizeof r.szName, p->SysFacts().strName);
        pDisks->push_back(r);
    }
    LogDisks(*pDisks);
    return KIV_OK;
}

void CKivEnumDevEx::AddFloppies(std::vector<PartInfo>* pParts) {
    static const char kLetters[] = {'A', 'B'};
    if (m_strDev.empty()) return;
    for (int i = 0; i < 2; ++i) {
        std::string path = m_strDev + "/fd" + std::to_string(i);
        KivPathStat st;
        if (!KivStatPath(path, &st, nullptr)) return;
        auto* pVol = new CKivDevVol(kLetters[i], path);
        uint32_t nMedia = pVol->GetMediaType();
        // A drive that is no floppy, or cannot be read, ends the step: B: is not tried after A:.
        if (nMedia == KIV_MEDIA_UNKNOWN || nMedia == KIV_MEDIA_REMOVABLE || nMedia == KIV_MEDIA_FIXED ||
            nMedia == KIV_MEDIA_NONE) {
            pVol->Release();
            return;
        }
        PartInfo r;
        std::memset(&r, 0, sizeof r);
        r.pDevice = pVol;
        r.nFloppy = 1;
        r.nSource = KIV_PART_FLOPPY;
        CKivVolBriefList briefs(pVol, 0);
        IKivVolBrief* b = briefs.Lookup();
        r.nFsKind = b->GetFsKind();
        if (r.nFsKind != KIV_FSK_UNKNOWN) b->GetLabel(r.szLabel, sizeof r.szLabel);
        r.szLabel[sizeof r.szLabel - 1] = 0;
        KivCopyText(r.szDevPath, sizeof r.szDevPath, path);
        if (st.bBlockDevice) {
            std::vector<KivMountEntry> mounts = KivReadMountInfo(m_strMountInfo);
            bool bRw = false;
            if (const KivMountEntry* m = KivFindMount(mounts, st.nDevMajor, st.nDevMinor, &bRw)) {
                KivCopyText(r.szMountPoint, sizeof r.szMountPoint, m->strMountPoint);
                r.nMountFlags = KIV_MOUNTED | (bRw ? KIV_MOUNTED_RW : 0);
            }
        }
        KivCopyText(r.szDesc, sizeof r.szDesc, std::string("Floppy drive ") + kLetters[i] + ":");
        pParts->push_back(r);
    }
}

void CKivEnumDevEx::OrderParts(std::vector<PartInfo>* pParts) {
    std::stable_sort(pParts->begin(), pParts->end(), [](const PartInfo& a, const PartInfo& b) {
        return static_cast<signed char>(a.cDriveLetter) < static_cast<signed char>(b.cDriveLetter);
    });
    std::stable_partition(pParts->begin(), pParts->end(), [](const PartInfo& r) { return r.cDriveLetter != 0; });
}

KivResult CKivEnumDevEx::EnumPart(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts) {
    if (!pDisks || !pParts) return KIV_RETERR(KIV_E_INVALIDARG);
    std::vector<DiskInfo> disks;
    for (const DiskInfo& d : *pDisks)
        if (d.pStor && d.pDisk) disks.push_back(d);
    if (disks.empty()) return KIV_OK;
    std::vector<KivMountEntry> mounts = KivReadMountInfo(m_strMountInfo);
    CPartitionTableAnalyze analyse(&mounts, m_strDev);
    analyse.AnalyzeDisks(disks, pParts);
    KivEnumDynamicVolumes(disks, pParts);
    AddFloppies(pParts);
    OrderParts(pParts);
    LogParts(*pParts);
    return KIV_OK;
}

void CKivEnumDevEx::LogDisks(const std::vector<DiskInfo>& disks) {
    KivLogA(0, "*****************************Enum Disk Start*****************************");
    KivLogA(0, "Index  SectorCount    DiskName");
    for (const DiskInfo& r : disks) {
        IKivDevDisk* p = r.pDisk;
        KivDiskDescriptor d;
        p->GetDescriptor(&d);
        KivLogA(0, "%d  %16llu  %30s", p->GetDiskNumber(), static_cast<unsigned long long>(p->GetSectorCount()),
                KivDiskDescription(d).c_str());
    }
    KivLogA(0, "*****************************Enum Disk End*******************************");
}

void CKivEnumDevEx::LogParts(const std::vector<PartInfo>& parts) {
    KivLogA(0, "*****************************Enum Part Start*****************************");
    KivLogA(0, "Driver     Label       Fs          StartSec        TotalSec        Disk");
    for (const PartInfo& r : parts) {
        KivPartExtent e;
        std::memcpy(&e, &r.extents[0], sizeof e);
        // The disk column: the disk's number, -1 for an image, -2 for a floppy drive.
        int nDisk = e.pDisk ? e.pDisk->GetDiskNumber() : -2;
        KivLogA(0, "%c  %16s %8s %16llu %16llu  %8d", r.cDriveLetter ? r.cDriveLetter : '*', r.szLabel,
                KivFsKindName(r.nFsKind), static_cast<unsigned long long>(e.nFirstSector),
                static_cast<unsigned long long>(e.nSectorCount), nDisk);
    }
    KivLogA(0, "*****************************Enum Part End*******************************");
}
