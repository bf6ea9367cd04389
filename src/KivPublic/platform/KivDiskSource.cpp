// Linux back end of the disk list: sysfs and mountinfo.
#include "platform/KivDiskSource.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

std::vector<KivSysDisk> KivSystemDisks(const std::string& strSysfsRoot, const std::string& strDevRoot) {
    return KivListSysDisks(strSysfsRoot, strDevRoot);
}

std::vector<KivSysPartition> KivSystemPartitions(const KivSysDisk& disk) { return KivListSysPartitions(disk.strSysDir); }

std::vector<KivMountEntry> KivSystemMounts(const std::string& strMountInfo) { return KivReadMountInfo(strMountInfo); }

std::string KivPartitionDevPath(const std::string& strDevRoot, const std::string& strName) {
    return strDevRoot + "/" + strName;
}

bool KivFloppyDrive(const std::string& strDevRoot, int nDrive, std::string* pPath, uint32_t* pMajor,
                    uint32_t* pMinor) {
    std::string path = strDevRoot + "/fd" + std::to_string(nDrive);
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    *pPath = path;
    *pMajor = S_ISBLK(st.st_mode) ? major(st.st_rdev) : 0;
    *pMinor = S_ISBLK(st.st_mode) ? minor(st.st_rdev) : 0;
    return true;
}
