#include "CliDevices.h"

#include "CliSession.h"
#include "KivModuleLoader.h"

CliDeviceList::~CliDeviceList() {
    // Partition records borrow the disks of the disk records: they go first.
    KivReleasePartInfos(&m_parts);
    KivReleaseDiskInfos(&m_disks);
    KivSafeRelease(m_pEnum);
}

int CliDeviceList::Enumerate(const std::vector<std::string>& images, uint32_t nImageSectorSize) {
    m_pEnum = static_cast<IKivEnumDevEx*>(KivLoadModule("KivEnumDevEx", KIV_IID_ENUMDEVEX));
    if (!m_pEnum) {
        CliError("cannot load the device library KivEnumDevEx (is it beside the program?)");
        return CLI_EXIT_FAILED;
    }
    m_pEnum->SetDevOpener(CliDevOpener());
    std::vector<const char*> paths;
    for (const std::string& s : images) paths.push_back(s.c_str());
    if (KivFailed(m_pEnum->SetImagePaths(paths.data(), static_cast<uint32_t>(paths.size()), nImageSectorSize))) {
        CliError("--sector-size must be a multiple of 512, not " + std::to_string(nImageSectorSize));
        return CLI_EXIT_USAGE;
    }
    if (KivFailed(m_pEnum->EnumDisk(&m_disks))) {
        CliError("listing the disks failed");
        return CLI_EXIT_FAILED;
    }
    int rc = CLI_EXIT_OK;
    KivDevProblem p;
    for (uint32_t i = 0; m_pEnum->GetProblem(i, &p); ++i) {
        bool bImage = false;
        for (const std::string& s : images) bImage = bImage || s == p.szDevice;
        if (bImage) {
            CliError(p.szText);
            rc = CLI_EXIT_USAGE;
        } else {
            m_problems.push_back(p);
        }
    }
    if (rc != CLI_EXIT_OK) return rc;
    if (KivFailed(m_pEnum->EnumPart(&m_disks, &m_parts))) {
        CliError("listing the partitions failed");
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_OK;
}

int CliDeviceList::DiskIndex(const IKivDevDisk* pDisk) const {
    for (size_t i = 0; i < m_disks.size(); ++i)
        if (m_disks[i].pDisk == pDisk) return static_cast<int>(i);
    return -1;
}

void CliDeviceList::WarnProblems() const {
    for (const KivDevProblem& p : m_problems) CliError(std::string("warning: ") + p.szText);
}

bool CliDeviceList::CheckIndex(int n, size_t nSize, const char* pszWhat) const {
    if (n >= 0 && static_cast<size_t>(n) < nSize) return true;
    WarnProblems();  // a disk that could not be read may be the one meant
    CliError(std::string("no ") + pszWhat + " " + std::to_string(n) + " (there " + (nSize == 1 ? "is " : "are ") +
             std::to_string(nSize) + "; see undelia-cli devices)");
    return false;
}

IKivDevStor* CliDeviceList::OpenDisk(int n, std::string* pSource) {
    if (!CheckIndex(n, m_disks.size(), "disk")) return nullptr;
    IKivDevStor* p = m_disks[n].pStor;
    p->AddRef();
    *pSource = m_disks[n].pDisk->GetPath();
    if (m_disks[n].nMountFlags & KIV_MOUNTED_RW)
        CliError("warning: a file system on " + *pSource +
                 " is mounted read-write; what changes during the scan may be found inconsistent (unmount it or "
                 "remount it read-only first)");
    return p;
}

IKivDevStor* CliDeviceList::OpenPart(int n, std::string* pSource) {
    if (!CheckIndex(n, m_parts.size(), "partition")) return nullptr;
    const PartInfo& r = m_parts[n];
    IKivDevStor* p = r.pDevice;
    p->AddRef();
    IKivDevDisk* pDisk = r.extents[0].pDisk;
    *pSource = r.szDevPath[0] ? r.szDevPath : pDisk ? pDisk->GetPath() : "";
    if (r.nMountFlags & KIV_MOUNTED_RW)
        CliError("warning: " + *pSource + " is mounted read-write at " + r.szMountPoint +
                 "; what changes during the scan may be found inconsistent (unmount it or remount it read-only "
                 "first)");
    return p;
}

std::string CliPartSourceName(const PartInfo& r) {
    switch (r.nSource) {
        case KIV_PART_MBR: return "MBR";
        case KIV_PART_EBR: return "EBR";
        case KIV_PART_GPT: return "GPT";
        case KIV_PART_WHOLE: return "none";
        case KIV_PART_FLOPPY: return "floppy";
        case KIV_PART_DYNAMIC: return KivDynLayoutName(r.nLayout);
        default: return "?";
    }
}
