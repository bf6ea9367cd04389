// undelia-cli devices: the disks (and image files given with --image), then their partitions and
// volumes, with the indexes --disk and --part take.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include <sstream>

#include "CKivImageContainer.h"
#include "CliDevices.h"
#include "CliSession.h"
#include "CliText.h"

namespace {

struct DevicesOptions {
    std::vector<std::string> images;
    uint32_t nSectorSize = 0;
    bool bJson = false;
};

// "a,b,c" of the flags that are set, "-" when none is.
class FlagText {
public:
    FlagText& Add(bool b, const char* psz) {
        if (b) m_s += (m_s.empty() ? "" : ",") + std::string(psz);
        return *this;
    }
    std::string Text() const { return m_s.empty() ? "-" : m_s; }

private:
    std::string m_s;
};

std::string DiskFlags(const DiskInfo& d) {
    return FlagText()
        .Add(d.nUsb, "usb")
        .Add(d.nRemovable, "removable")
        .Add(d.nDynamic, "dynamic")
        .Add(d.nMountFlags & KIV_MOUNTED_RW, "mounted-rw")
        .Add((d.nMountFlags & (KIV_MOUNTED | KIV_MOUNTED_RW)) == KIV_MOUNTED, "mounted")
        .Text();
}

std::string PartFlags(const PartInfo& r) {
    return FlagText()
        .Add(r.nUsb, "usb")
        .Add(r.nDynamic, "dynamic")
        .Add(r.nFloppy, "floppy")
        .Add(r.nMountFlags & KIV_MOUNTED_RW, "mounted-rw")
        .Add(r.nPartFlags & KIV_PARTF_CUT, "cut")
        .Text();
}

std::string DiskIndexText(const CliDeviceList& list, const PartInfo& r) {
    int n = list.DiskIndex(r.extents[0].pDisk);
    return n < 0 ? "-" : std::to_string(n);
}

// A description on one line (a volume over several disks has one line per disk).
std::string OneLine(const char* psz) {
    std::string s = psz;
    for (size_t i; (i = s.find('\n')) != std::string::npos;) s.replace(i, 1, "; ");
    return s;
}

// "E01 " for the disk an E01 image holds (the device library names containers in the bus name),
// empty for a raw image.
std::string ImageKind(const KivDiskDescriptor& desc) {
    std::string bus = desc.szBusName;
    const std::string tail = " Image File";
    return bus.size() > tail.size() && bus.ends_with(tail) ? bus.substr(0, bus.size() - tail.size()) + " " : "";
}

void PrintTable(const CliDeviceList& list) {
    std::printf("Disks\n");
    if (list.Disks().empty()) std::printf("  (none readable)\n");
    else
        std::printf("%3s  %-5s %10s %12s %6s  %-18s %s\n", "#", "kind", "size", "sectors", "sector", "flags",
                    "description");
    for (size_t i = 0; i < list.Disks().size(); ++i) {
        const DiskInfo& d = list.Disks()[i];
        IKivDevDisk* p = d.pDisk;
        KivDiskDescriptor desc;
        p->GetDescriptor(&desc);
        std::string text = d.nSource == KIV_DISK_IMAGE ? ImageKind(desc) + "image file " + p->GetPath()
                                                        : std::string(desc.szVendor[0] && desc.szVendor[0] != '('
                                                                          ? std::string(desc.szVendor) + " "
                                                                          : "") +
                                                              desc.szProduct + "  " + desc.szBusName + "  " + p->GetPath();
        std::printf("%3zu  %-5s %10s %12llu %6u  %-18s %s\n", i, d.nSource == KIV_DISK_IMAGE ? "image" : "disk",
                    CliSizeText(p->GetSectorCount() * p->GetSectorSize()).c_str(),
                    static_cast<unsigned long long>(p->GetSectorCount()), p->GetSectorSize(), DiskFlags(d).c_str(),
                    CliPrintable(text).c_str());
    }
    std::printf("\nPartitions\n");
    if (list.Parts().empty()) {
        std::printf("  (none)\n");
        return;
    }
    std::printf("%3s  %4s  %-7s %-8s %12s %12s %10s  %-12s %-16s %-12s %s\n", "#", "disk", "kind", "table",
                "first sector", "sectors", "size", "label", "mount point", "flags", "description");
    for (size_t i = 0; i < list.Parts().size(); ++i) {
        const PartInfo& r = list.Parts()[i];
        const KivPartExtent e = r.extents[0];
        IKivDevStor* p = r.pDevice;
        std::string mount = r.szMountPoint[0] ? r.szMountPoint : "-";
        std::printf("%3zu  %4s  %-7s %-8s %12llu %12llu %10s  %-12s %-16s %-12s %s\n", i, DiskIndexText(list, r).c_str(),
                    KivFsKindName(r.nFsKind), CliPartSourceName(r).c_str(),
                    static_cast<unsigned long long>(e.nFirstSector),
                    static_cast<unsigned long long>(p->GetSectorCount()),
                    CliSizeText(p->GetSectorCount() * p->GetSectorSize()).c_str(),
                    r.szLabel[0] ? CliPrintable(r.szLabel).c_str() : "-", CliPrintable(mount).c_str(),
                    PartFlags(r).c_str(), CliPrintable(OneLine(r.szDesc)).c_str());
    }
}

void PrintJson(const CliDeviceList& list) {
    nlohmann::json disks = nlohmann::json::array();
    for (size_t i = 0; i < list.Disks().size(); ++i) {
        const DiskInfo& d = list.Disks()[i];
        IKivDevDisk* p = d.pDisk;
        KivDiskDescriptor desc;
        p->GetDescriptor(&desc);
        uint64_t nSectors = p->GetSectorCount();
        disks.push_back({{"index", i},
                         {"kind", d.nSource == KIV_DISK_IMAGE ? "image" : "disk"},
                         {"name", d.szName},
                         {"format", d.nSource != KIV_DISK_IMAGE ? "" : ImageKind(desc).empty() ? "raw" : ImageKind(desc).substr(0, ImageKind(desc).size() - 1)},
                         {"path", p->GetPath()},
                         {"number", p->GetDiskNumber()},
                         {"sectors", nSectors},
                         {"sector_size", p->GetSectorSize()},
                         {"size", nSectors * p->GetSectorSize()},
                         {"size_text", CliSizeText(nSectors * p->GetSectorSize())},
                         {"vendor", desc.szVendor},
                         {"model", desc.szProduct},
                         {"revision", desc.szRevision},
                         {"serial", desc.szSerial},
                         {"bus", desc.szBusName},
                         {"bus_type", desc.nBusType},
                         {"usb", d.nUsb != 0},
                         {"removable", d.nRemovable != 0},
                         {"dynamic", d.nDynamic != 0},
                         {"mounted", (d.nMountFlags & KIV_MOUNTED) != 0},
                         {"mounted_rw", (d.nMountFlags & KIV_MOUNTED_RW) != 0},
                         {"description", d.szDesc}});
    }
    nlohmann::json parts = nlohmann::json::array();
    for (size_t i = 0; i < list.Parts().size(); ++i) {
        const PartInfo& r = list.Parts()[i];
        IKivDevStor* p = r.pDevice;
        nlohmann::json extents = nlohmann::json::array();
        for (const KivPartExtent& e : r.extents) {
            if (!e.nSectorCount) continue;
            int n = list.DiskIndex(e.pDisk);
            extents.push_back({{"disk", n < 0 ? nlohmann::json(nullptr) : nlohmann::json(n)},
                               {"first_sector", e.nFirstSector},
                               {"sectors", e.nSectorCount}});
        }
        int nDisk = list.DiskIndex(r.extents[0].pDisk);
        uint64_t nSectors = p->GetSectorCount();
        parts.push_back({{"index", i},
                         {"disk", nDisk < 0 ? nlohmann::json(nullptr) : nlohmann::json(nDisk)},
                         {"kind", KivFsKindName(r.nFsKind)},
                         {"kind_code", r.nFsKind},
                         {"table", CliPartSourceName(r)},
                         {"first_sector", r.extents[0].nFirstSector},
                         {"sectors", nSectors},
                         {"sector_size", p->GetSectorSize()},
                         {"size", nSectors * p->GetSectorSize()},
                         {"size_text", CliSizeText(nSectors * p->GetSectorSize())},
                         {"sized_by", (r.nPartFlags & KIV_PARTF_FS_SIZED) ? "file system" : "table"},
                         {"label", r.szLabel},
                         {"device", r.szDevPath},
                         {"partition_number", r.nPartNumber},
                         {"mount_point", r.szMountPoint},
                         {"mounted_rw", (r.nMountFlags & KIV_MOUNTED_RW) != 0},
                         {"dynamic", r.nDynamic != 0},
                         {"layout", r.nDynamic ? nlohmann::json(KivDynLayoutName(r.nLayout)) : nlohmann::json(nullptr)},
                         {"usb", r.nUsb != 0},
                         {"floppy", r.nFloppy != 0},
                         {"extents", extents},
                         {"description", r.szDesc}});
    }
    nlohmann::json problems = nlohmann::json::array();
    for (const KivDevProblem& pr : list.Problems())
        problems.push_back({{"device", pr.szDevice}, {"errno", pr.nErrno}, {"message", pr.szText}});
    nlohmann::json j{{"disks", disks}, {"partitions", parts}, {"problems", problems}};
    std::cout << j.dump(2) << "\n";
}

}  // namespace

CliRunFn CliAddDevicesCommand(CLI::App& app) {
    auto pOpts = std::make_shared<DevicesOptions>();
    CLI::App* pCmd = app.add_subcommand("devices", "List disks, partitions and volumes with their indexes");
    pCmd->add_option("--image", pOpts->images, "An image file to list as one more disk (repeatable)");
    pCmd->add_option("--sector-size", pOpts->nSectorSize, "Bytes per sector of the images (default 512)");
    pCmd->add_flag("--json", pOpts->bJson, "Print the lists as JSON on stdout");
    return [pOpts](const CliGlobalOptions&) {
        CDataBackstage bs;
        CliDeviceList list(bs);
        if (int rc = list.Enumerate(pOpts->images, pOpts->nSectorSize); rc != CLI_EXIT_OK) return rc;
        list.WarnProblems();
        // Image containers this machine cannot read, said once, before they are met.
        std::istringstream formats(CKivImageContainer::FormatsText());
        for (std::string line; std::getline(formats, line);)
            if (size_t n = line.find(": lacking ("); n != std::string::npos)
                CliError("note: " + line.substr(0, n) + " images cannot be read here: " + line.substr(n + 11, line.size() - n - 12));
        if (pOpts->bJson)
            PrintJson(list);
        else
            PrintTable(list);
        return CLI_EXIT_OK;
    };
}
