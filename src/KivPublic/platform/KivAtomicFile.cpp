#include "platform/KivAtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/KivFileUtil.h"

namespace {

bool Failed(std::string* pWhy, const std::string& strWhat, int nErr) {
    if (pWhy) *pWhy = strWhat + ": " + std::strerror(nErr);
    return false;
}

}  // namespace

bool KivWriteFileAtomic(const std::string& strPath, const std::vector<std::pair<const void*, size_t>>& pieces,
                        std::string* pWhy) {
    // Same folder, so that the rename never crosses file systems; the process id keeps two
    // writers of one path apart.
    std::string strTmp = strPath + ".tmp." + std::to_string(::getpid());
    int fd = ::open(strTmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Failed(pWhy, strTmp, errno);
    for (const auto& [p, n] : pieces) {
        if (!KivWriteAll(fd, p, n)) {
            int e = errno ? errno : EIO;
            ::close(fd);
            ::unlink(strTmp.c_str());
            return Failed(pWhy, strTmp, e);
        }
    }
    if (::fsync(fd) != 0) {
        int e = errno;
        ::close(fd);
        ::unlink(strTmp.c_str());
        return Failed(pWhy, strTmp, e);
    }
    if (::close(fd) != 0) {
        int e = errno;
        ::unlink(strTmp.c_str());
        return Failed(pWhy, strTmp, e);
    }
    if (::rename(strTmp.c_str(), strPath.c_str()) != 0) {
        int e = errno;
        ::unlink(strTmp.c_str());
        return Failed(pWhy, strPath, e);
    }
    // The rename itself lasts only once the folder is on the medium.
    std::string strDir = KivDirOf(strPath);
    if (strDir.empty()) strDir = ".";
    int dfd = ::open(strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool KivReadWholeFile(const std::string& strPath, std::vector<uint8_t>* pOut, std::string* pWhy) {
    int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Failed(pWhy, strPath, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return Failed(pWhy, strPath, e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (pWhy) *pWhy = strPath + ": not a regular file";
        return false;
    }
    pOut->clear();
    pOut->reserve(static_cast<size_t>(st.st_size));
    uint8_t buf[1 << 16];
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            int e = errno;
            ::close(fd);
            return Failed(pWhy, strPath, e);
        }
        if (r == 0) break;
        pOut->insert(pOut->end(), buf, buf + r);
    }
    ::close(fd);
    return true;
}
