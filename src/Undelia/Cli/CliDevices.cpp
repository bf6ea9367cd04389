#include "CliDevices.h"

#include "CDataBackstage.h"
#include "CliText.h"
#include "platform/KivUserDevOpener.h"

IKivDevOpener* CliDevOpener() { return KivUserDevOpener(); }

bool CliDeviceList::SortProblems(const std::vector<std::string>& images) {
    bool bImage = false;
    for (const KivDevProblem& p : m_bs.GetDevProblems()) {
        bool bNamed = false;
        for (const std::string& s : images) bNamed = bNamed || s == p.szDevice;
        if (bNamed) {
            CliError(p.szText);
            bImage = true;
        } else {
            m_problems.push_back(p);
        }
    }
    return bImage;
}

int CliDeviceList::Enumerate(const std::vector<std::string>& images, uint32_t nImageSectorSize) {
    m_bs.SetDevOpener(CliDevOpener());
    m_bs.SetImagePaths(images, nImageSectorSize);
    KivResult rc = m_bs.GetEnumDevData(&m_disks, &m_parts, nullptr, true);
    switch (KivFailed(rc) ? m_bs.GetDevFailure() : CDataBackstage::DEV_OK) {
        case CDataBackstage::DEV_OK: break;
        case CDataBackstage::DEV_LIBRARY:
            CliError("cannot load the device library KivEnumDevEx (is it beside the program?)");
            return CLI_EXIT_FAILED;
        case CDataBackstage::DEV_IMAGES:
            CliError("--sector-size must be a multiple of 512, not " + std::to_string(nImageSectorSize));
            return CLI_EXIT_USAGE;
        case CDataBackstage::DEV_DISKS:
            CliError("listing the disks failed");
            return CLI_EXIT_FAILED;
        case CDataBackstage::DEV_PARTS:
            // An image named that could not be read is said first.
            if (SortProblems(images)) return CLI_EXIT_USAGE;
            CliError("listing the partitions failed");
            return CLI_EXIT_FAILED;
    }
    return SortProblems(images) ? CLI_EXIT_USAGE : CLI_EXIT_OK;
}

int CliDeviceList::DiskIndex(const IKivDevDisk* pDisk) const { return m_bs.DiskIndexOf(pDisk); }

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
