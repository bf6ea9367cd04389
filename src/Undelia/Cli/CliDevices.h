// The machine's disks, the image files given with --image, and their partitions and volumes, as
// the program core's back-stage lists them; indexes are positions in these lists, the same for
// `devices` and for --disk / --part. What is printed about them is the command line's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IKivEnumDevEx.h"

class CDataBackstage;
class IKivDevOpener;

// Who opens devices the program may not open itself: udisks2 for a user, nobody for root (who
// opens them directly, as before).
IKivDevOpener* CliDevOpener();

class CliDeviceList {
public:
    // The lists are bs's (good until its next refresh or reset).
    explicit CliDeviceList(CDataBackstage& bs) : m_bs(bs) {}

    // Lists everything. Answers an exit code; every failure prints its line. Images that cannot
    // be opened are errors (the user named them); disks that cannot be opened are problems kept
    // for Problems().
    int Enumerate(const std::vector<std::string>& images, uint32_t nImageSectorSize);

    const std::vector<DiskInfo>& Disks() const { return m_disks; }
    const std::vector<PartInfo>& Parts() const { return m_parts; }
    const std::vector<KivDevProblem>& Problems() const { return m_problems; }
    // The index of the disk record holding a disk, -1 when none does.
    int DiskIndex(const IKivDevDisk* pDisk) const;

    // The store of disk or partition n with one reference for the caller, and what names it (the
    // partition's kernel device, else the disk's path). Prints an error and answers null when n is
    // no index of the list.
    IKivDevStor* OpenDisk(int n, std::string* pSource);
    IKivDevStor* OpenPart(int n, std::string* pSource);

    // Prints the problems of the enumeration as warning lines.
    void WarnProblems() const;

private:
    bool CheckIndex(int n, size_t nSize, const char* pszWhat) const;
    // The images' problems become errors (true when there was one), the others are kept.
    bool SortProblems(const std::vector<std::string>& images);

    CDataBackstage& m_bs;
    std::vector<DiskInfo> m_disks;
    std::vector<PartInfo> m_parts;
    std::vector<KivDevProblem> m_problems;
};

// What `devices` prints for a partition's origin: "MBR", "EBR", "GPT", "none", "floppy" or the
// layout name of a dynamic volume.
std::string CliPartSourceName(const PartInfo& r);
