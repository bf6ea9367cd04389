// Linux back end: the block device's numbers looked up among the disks sysfs lists.
#include "platform/KivMediumSerial.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/KivSysBlock.h"

std::string KivMediumSerial(const std::string& strPath) {
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    unsigned nMaj = major(st.st_rdev), nMin = minor(st.st_rdev);
    for (const KivSysDisk& d : KivListSysDisks("/sys", "/dev")) {
        if (d.nMajor == nMaj && d.nMinor == nMin) return d.strSerial;
        for (const KivSysPartition& p : KivListSysPartitions(d.strSysDir))
            if (p.nMajor == nMaj && p.nMinor == nMin) return d.strSerial;
    }
    return {};
}
