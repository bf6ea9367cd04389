// The enumerator component: the machine's disks and the image files given to it, their
// partitions, dynamic volumes and floppy drives.
#pragma once

#include <string>
#include <vector>

#include "IKivEnumDevEx.h"

class CKivDevDisk;

class CKivEnumDevEx : public IKivEnumDevEx {
public:
    CKivEnumDevEx();

    KivResult EnumDisk(std::vector<DiskInfo>* pDisks) override;
    KivResult EnumPart(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts) override;
    KivResult SetImagePaths(const char* const* ppPaths, uint32_t nCount, uint32_t nSectorSize) override;
    KivResult SetSystemRoots(const char* pszSysfs, const char* pszDev, const char* pszMountInfo) override;
    KivResult SetDevOpener(IKivDevOpener* pOpener) override;
    uint32_t GetProblemCount() override { return static_cast<uint32_t>(m_problems.size()); }
    int GetProblem(uint32_t nIndex, KivDevProblem* pOut) override;

    // Fills a disk record for a disk; the record takes over the caller's reference.
    static KivResult PiDisk2DiskInfo(IKivDevDisk* pDisk, DiskInfo* pOut);
    // The stable sort by drive letter, letterless records moved behind the others in their order.
    static void OrderParts(std::vector<PartInfo>* pParts);

protected:
    ~CKivEnumDevEx() override = default;

private:
    void AddProblem(const std::string& strDevice, int err, const std::string& strText);
    void AddFloppies(std::vector<PartInfo>* pParts);
    int32_t MountFlagsOfDisk(CKivDevDisk* pDisk) const;
    void LogDisks(const std::vector<DiskInfo>& disks);
    void LogParts(const std::vector<PartInfo>& parts);

    std::string m_strSysfs = "/sys", m_strDev = "/dev", m_strMountInfo = "/proc/self/mountinfo";
    std::vector<std::string> m_images;
    uint32_t m_nImageSectorSize = 0;
    std::vector<KivDevProblem> m_problems;
};
