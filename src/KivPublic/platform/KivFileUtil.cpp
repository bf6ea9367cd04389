// Linux back end of the file-system helpers.
#include "platform/KivFileUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>

#include "platform/KivPlatform.h"

std::string KivDirOf(const std::string& path) {
    auto pos = path.rfind('/');
    if (pos == std::string::npos) return {};
    return pos == 0 ? std::string("/") : path.substr(0, pos);
}

bool KivMakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    struct stat st{};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    KivMakeDirs(KivDirOf(dir));
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool KivWriteAll(int fd, const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

std::string KivUserDir(const char* pszXdgVar, const char* pszHomeSub) {
    std::string base;
    if (const char* p = std::getenv(pszXdgVar); p && *p == '/') {
        base = p;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = std::string(h) + "/" + pszHomeSub;
    } else {
        return {};
    }
    std::string dir = base + "/undelia";
    return KivMakeDirs(dir) ? dir : std::string();
}

KivPathType KivPathTypeOf(const std::string& path) {
    struct stat st{};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return KivPathType::kNone;
    if (S_ISREG(st.st_mode)) return KivPathType::kFile;
    if (S_ISDIR(st.st_mode)) return KivPathType::kDir;
    return KivPathType::kOther;
}

bool KivPathExists(const std::string& path) { return KivPathTypeOf(path) != KivPathType::kNone; }

bool KivIsDir(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool KivIsFile(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool KivFileSize(const std::string& path, uint64_t* pBytes) {
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *pBytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool KivListDir(const std::string& dir, std::vector<std::string>* pNames) {
    pNames->clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") pNames->push_back(std::move(name));
    }
    ::closedir(d);
    return true;
}

bool KivMakeDir(const std::string& dir) { return ::mkdir(dir.c_str(), 0777) == 0; }

bool KivRenamePath(const std::string& strFrom, const std::string& strTo) {
    return ::rename(strFrom.c_str(), strTo.c_str()) == 0;
}

bool KivRemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool KivRemoveDir(const std::string& dir) { return ::rmdir(dir.c_str()) == 0; }

bool KivFreeBytes(const std::string& dir, uint64_t* pBytes) {
    struct statvfs v{};
    if (::statvfs(dir.c_str(), &v) != 0) return false;
    *pBytes = static_cast<uint64_t>(v.f_bavail) * v.f_frsize;
    return true;
}

bool KivCanWriteDir(const std::string& dir) { return !dir.empty() && ::access(dir.c_str(), W_OK) == 0; }

bool KivSetFileTimes(const std::string& path, uint64_t, uint64_t nAccess, uint64_t nWrite) {
    struct timespec ts[2];
    auto set = [](struct timespec* p, uint64_t ft) {
        if (ft == 0) {
            p->tv_sec = 0;
            p->tv_nsec = UTIME_OMIT;
            return;
        }
        int64_t s;
        uint32_t ns;
        KivFileTimeToUnix(ft, &s, &ns);
        p->tv_sec = static_cast<time_t>(s);
        p->tv_nsec = ns;
    };
    set(&ts[0], nAccess);
    set(&ts[1], nWrite);
    if (ts[0].tv_nsec == UTIME_OMIT && ts[1].tv_nsec == UTIME_OMIT) return true;
    return ::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

bool KivSetFileAttributes(const std::string& path, uint32_t nAttrs) {
    if (!(nAttrs & 0x01)) return true;
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::chmod(path.c_str(), st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::string KivDestName(const std::string& name) { return name; }

size_t KivNameMax(const std::string& dir) {
    long n = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    return n > 0 ? static_cast<size_t>(n) : 255;
}

size_t KivNameLength(const std::string& name) { return name.size(); }

std::string KivAbsolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof(buf))) return {};
    return std::string(buf) + "/" + path;
}

bool KivImportEncryptedRaw(const std::string&, const std::string&) {
    errno = ENOTSUP;
    return false;
}
