#include "platform/KivDestMedium.h"

#include <dirent.h>
#include <limits.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace {

struct MountEntry {
    dev_t dev = 0;
    std::string strMountPoint;
    std::string strFsType;
    std::string strSource;
};

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        auto digit = [&](size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '7'; };
        if (s[i] == '\\' && digit(i + 1) && digit(i + 2) && digit(i + 3)) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool ParseDevNo(const std::string& s, dev_t* pDev) {
    unsigned nMajor = 0, nMinor = 0;
    char c = 0;
    std::istringstream in(s);
    if (!(in >> nMajor >> c >> nMinor) || c != ':') return false;
    *pDev = makedev(nMajor, nMinor);
    return true;
}

std::vector<MountEntry> ReadMounts(const std::string& path) {
    std::vector<MountEntry> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<std::string> f;
        for (std::string w; ls >> w;) f.push_back(w);
        // id parent major:minor root mount-point options [optional...] - fstype source super-options
        size_t dash = 6;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (f.size() < 5 || dash + 2 >= f.size()) continue;
        MountEntry e;
        if (!ParseDevNo(f[2], &e.dev)) continue;
        e.strMountPoint = Unescape(f[4]);
        e.strFsType = f[dash + 1];
        e.strSource = Unescape(f[dash + 2]);
        out.push_back(std::move(e));
    }
    return out;
}

bool UnderMountPoint(const std::string& dir, const std::string& mp) {
    if (mp == "/") return true;
    return dir.compare(0, mp.size(), mp) == 0 && (dir.size() == mp.size() || dir[mp.size()] == '/');
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

std::string DevText(dev_t d) { return std::to_string(major(d)) + ":" + std::to_string(minor(d)); }

// The block devices of sysfs as far as they matter here.
class SysBlock {
public:
    explicit SysBlock(std::string root) : m_root(std::move(root)) {}

    std::string Dir(dev_t d) const { return m_root + "/dev/block/" + DevText(d); }

    std::string Name(dev_t d) const {
        char buf[PATH_MAX];
        if (::realpath(Dir(d).c_str(), buf)) {
            std::string s = buf;
            return s.substr(s.rfind('/') + 1);
        }
        return DevText(d);
    }

    // The disk a partition belongs to.
    bool Parent(dev_t d, dev_t* pDisk) const {
        struct stat st;
        if (::stat((Dir(d) + "/partition").c_str(), &st) != 0) return false;
        char buf[PATH_MAX];
        if (!::realpath(Dir(d).c_str(), buf)) return false;
        return ParseDevNo(ReadLine(std::string(buf) + "/../dev"), pDisk);
    }

    std::vector<dev_t> Slaves(dev_t d) const {
        std::vector<dev_t> out;
        std::string dir = Dir(d) + "/slaves";
        if (DIR* p = ::opendir(dir.c_str())) {
            while (struct dirent* e = ::readdir(p)) {
                if (e->d_name[0] == '.') continue;
                dev_t s;
                if (ParseDevNo(ReadLine(dir + "/" + e->d_name + "/dev"), &s)) out.push_back(s);
            }
            ::closedir(p);
        }
        return out;
    }

    // The file a loop device reads and writes, empty when d is no loop device.
    std::string BackingFile(dev_t d) const {
        std::string s = ReadLine(Dir(d) + "/loop/backing_file");
        const std::string kDeleted = " (deleted)";
        if (s.size() > kDeleted.size() && s.compare(s.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
            s.resize(s.size() - kDeleted.size());
        return s;
    }

private:
    std::string m_root;
};

struct Reached {
    dev_t dev;
    std::string strVia;  // how the destination reaches it, for the message
};

}  // namespace

std::string KivExistingAncestor(const std::string& path) {
    std::string p = path;
    if (p.empty() || p[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) return {};
        p = std::string(cwd) + (p.empty() ? "" : "/" + p);
    }
    struct stat st;
    while (::stat(p.c_str(), &st) != 0) {
        size_t slash = p.find_last_of('/');
        if (slash == std::string::npos || p == "/") return {};
        p = slash == 0 ? "/" : p.substr(0, slash);
    }
    char buf[PATH_MAX];
    return ::realpath(p.c_str(), buf) ? std::string(buf) : p;
}

KivDestVerdict KivJudgeDestination(const KivSourceId& src, dev_t nDestDev, const std::string& strDestDir,
                                   const KivMediumRoots& roots) {
    SysBlock sys(roots.strSysfs);
    std::vector<MountEntry> mounts = ReadMounts(roots.strMountInfo);
    const MountEntry* pMount = nullptr;
    for (const MountEntry& m : mounts)
        if (m.dev == nDestDev && UnderMountPoint(strDestDir, m.strMountPoint) &&
            (!pMount || m.strMountPoint.size() > pMount->strMountPoint.size()))
            pMount = &m;

    KivDestVerdict v;
    auto refuse = [&](const std::string& why) {
        v.place = KivDestPlace::kOnScannedMedium;
        v.strWhy = why;
        return v;
    };
    std::string where = pMount ? "the file system mounted at " + pMount->strMountPoint : "its file system";

    // The devices a write to the destination lands on: its file system's device (the mount
    // source for file systems such as btrfs that report an anonymous one), what that sits on
    // (mapper, RAID, the file behind a loop device), recursively.
    std::vector<Reached> todo{{nDestDev, ""}};
    if (pMount && !pMount->strSource.empty() && pMount->strSource[0] == '/') {
        struct stat st;
        if (::stat(pMount->strSource.c_str(), &st) == 0) {
            if (S_ISBLK(st.st_mode)) todo.push_back({st.st_rdev, ""});
            // A file system served straight from the image (a FUSE mount of the image file).
            if (!src.bBlock && S_ISREG(st.st_mode) && st.st_dev == src.dev && st.st_ino == src.ino)
                return refuse(where + " is the image itself (" + pMount->strSource + ")");
        }
    }
    std::set<dev_t> seen;
    for (size_t i = 0; i < todo.size() && seen.size() < 256; ++i) {
        Reached r = todo[i];
        if (!seen.insert(r.dev).second) continue;
        std::string via = r.strVia.empty() ? sys.Name(r.dev) : r.strVia + " on " + sys.Name(r.dev);
        if (src.bBlock) {
            dev_t disk;
            if (r.dev == src.rdev) return refuse(where + " lies on " + via + ", the device being scanned");
            if (sys.Parent(r.dev, &disk) && disk == src.rdev)
                return refuse(where + " lies on " + via + ", a partition of the device being scanned");
        }
        for (dev_t s : sys.Slaves(r.dev)) todo.push_back({s, via});
        // A partition of a loop device (losetup -P) writes into the file behind its disk.
        if (dev_t disk; sys.Parent(r.dev, &disk)) todo.push_back({disk, via});
        std::string backing = sys.BackingFile(r.dev);
        struct stat st;
        if (!backing.empty() && ::stat(backing.c_str(), &st) == 0) {
            if (!src.bBlock && st.st_dev == src.dev && st.st_ino == src.ino)
                return refuse(where + " lies on " + via + ", which is backed by the image");
            todo.push_back({st.st_dev, via + " (backed by " + backing + ")"});
        }
    }
    if (!src.bBlock && nDestDev == src.dev) v.place = KivDestPlace::kSameFsAsImage;
    return v;
}

namespace {

bool SourceIdOf(const std::string& strSource, KivSourceId* pSrc) {
    struct stat s;
    if (::stat(strSource.c_str(), &s) != 0) return false;
    pSrc->bBlock = S_ISBLK(s.st_mode);
    pSrc->rdev = s.st_rdev;
    pSrc->dev = s.st_dev;
    pSrc->ino = s.st_ino;
    return true;
}

// Where a symbolic link finally points (the link itself when it is none), even when the target
// does not exist yet; empty when the chain loops.
std::string LinkTarget(const std::string& path) {
    std::string p = path;
    for (int i = 0; i < 40; ++i) {
        char buf[PATH_MAX];
        ssize_t n = ::readlink(p.c_str(), buf, sizeof buf - 1);
        if (n < 0) return p;
        std::string t(buf, static_cast<size_t>(n));
        if (t.empty() || t[0] != '/') {
            size_t slash = p.find_last_of('/');
            t = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + t;
        }
        p = t;
    }
    return {};
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

KivDestVerdict KivJudgeDestination(const std::string& strSource, const std::string& strDest,
                                   const KivMediumRoots& roots) {
    struct stat d;
    std::string dir = KivExistingAncestor(strDest);
    KivSourceId src;
    if (!SourceIdOf(strSource, &src) || dir.empty() || ::stat(dir.c_str(), &d) != 0) return {};
    return KivJudgeDestination(src, d.st_dev, dir, roots);
}


KivDestVerdict KivJudgeOutputFile(const std::string& strSource, const std::string& strFile,
                                  const KivMediumRoots& roots) {
    KivDestVerdict v;
    KivSourceId src;
    if (strFile.empty() || !SourceIdOf(strSource, &src)) return v;
    auto refuse = [&](const std::string& why) {
        v.place = KivDestPlace::kOnScannedMedium;
        v.strWhy = why;
        return v;
    };
    std::string target = LinkTarget(strFile);
    if (target.empty()) return refuse("'" + strFile + "' is a loop of symbolic links");
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISBLK(st.st_mode)) return refuse("'" + strFile + "' is a block device, which is never written");
        if (!src.bBlock && st.st_dev == src.dev && st.st_ino == src.ino)
            return refuse("'" + strFile + "' is the image being read");
    }
    KivDestVerdict far;
    for (const std::string& file : {strFile, target}) {
        std::string dir = KivExistingAncestor(FolderOf(file));
        struct stat d;
        if (dir.empty() || ::stat(dir.c_str(), &d) != 0) continue;
        KivDestVerdict one = KivJudgeDestination(src, d.st_dev, dir, roots);
        if (one.place == KivDestPlace::kOnScannedMedium) return one;
        if (one.place == KivDestPlace::kSameFsAsImage) far = one;
        if (target == strFile) break;
    }
    return far;
}

std::string KivDestUnusable(const std::string& strDest) {
    std::string q = "'" + strDest + "'";
    struct stat st;
    bool bExists = ::stat(strDest.c_str(), &st) == 0;
    // Folders are made through the path given: a link to nowhere would fail only after the scan.
    if (!bExists && ::lstat(strDest.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return q + " is a symbolic link to '" + LinkTarget(strDest) + "', which does not exist";
    if (bExists && !S_ISDIR(st.st_mode)) return q + " is not a folder";
    std::string dir = KivExistingAncestor(strDest);
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0) return "cannot create " + q;
    if (!S_ISDIR(st.st_mode)) return "cannot create " + q + ": " + dir + " is not a folder";
    struct statfs fs;
    if (::statfs(dir.c_str(), &fs) == 0) {
        static const struct {
            unsigned long nMagic;
            const char* pszName;
        } kVirtual[] = {{PROC_SUPER_MAGIC, "proc"},       {SYSFS_MAGIC, "sysfs"},          {DEVPTS_SUPER_MAGIC, "devpts"},
                        {CGROUP_SUPER_MAGIC, "cgroup"},   {CGROUP2_SUPER_MAGIC, "cgroup2"}, {DEBUGFS_MAGIC, "debugfs"},
                        {TRACEFS_MAGIC, "tracefs"},       {SECURITYFS_MAGIC, "securityfs"}, {PSTOREFS_MAGIC, "pstore"},
                        {BPF_FS_MAGIC, "bpf"},            {EFIVARFS_MAGIC, "efivarfs"},     {0x62656570, "configfs"},
                        {0x65735543, "fusectl"},          {SELINUX_MAGIC, "selinuxfs"},     {0x19800202, "mqueue"},
                        {BINFMTFS_MAGIC, "binfmt_misc"}};
        for (const auto& k : kVirtual)
            if (static_cast<unsigned long>(fs.f_type) == k.nMagic)
                return q + " lies on a virtual file system (" + k.pszName + "), not on a disk";
    }
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        int e = errno;
        return (bExists ? "cannot write into " + q : "cannot create " + q) + ": " + std::strerror(e);
    }
    return {};
}
