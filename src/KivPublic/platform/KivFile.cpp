// Linux back end of the open file.
#include "platform/KivFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

CKivFile::~CKivFile() { Close(); }

bool CKivFile::Open(const std::string& path, Mode mode, bool bNoFollow) {
    Close();
    int flags = O_CLOEXEC | (bNoFollow ? O_NOFOLLOW : 0);
    switch (mode) {
        case Mode::kRead: flags |= O_RDONLY; break;
        case Mode::kReadNonBlocking: flags |= O_RDONLY | O_NONBLOCK; break;
        case Mode::kReadWrite: flags |= O_RDWR; break;
        case Mode::kCreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
        case Mode::kCreateTrunc: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case Mode::kAppend: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
        case Mode::kReadWriteCreate: flags |= O_RDWR | O_CREAT; break;
        case Mode::kWriteKeep: flags |= O_WRONLY | O_CREAT | O_NONBLOCK; break;
    }
    m_fd = ::open(path.c_str(), flags, 0644);
    return m_fd >= 0;
}

bool CKivFile::IsOpen() const { return m_fd >= 0; }

bool CKivFile::Close() {
    if (m_fd < 0) return true;
    int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0;
}

int64_t CKivFile::Read(void* pBuf, size_t n) {
    auto* p = static_cast<char*>(pBuf);
    size_t nDone = 0;
    while (nDone < n) {
        ssize_t r = ::read(m_fd, p + nDone, n - nDone);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        nDone += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(nDone);
}

int64_t CKivFile::ReadAt(uint64_t nOffset, void* pBuf, size_t n) {
    auto* p = static_cast<char*>(pBuf);
    size_t nDone = 0;
    while (nDone < n) {
        ssize_t r = ::pread(m_fd, p + nDone, n - nDone, static_cast<off_t>(nOffset + nDone));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        nDone += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(nDone);
}

bool CKivFile::WriteAll(const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        ssize_t w = ::write(m_fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool CKivFile::WriteAllAt(uint64_t nOffset, const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        ssize_t w = ::pwrite(m_fd, p, n, static_cast<off_t>(nOffset));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return false;
        }
        p += w;
        nOffset += static_cast<uint64_t>(w);
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool CKivFile::Seek(uint64_t nOffset) { return ::lseek(m_fd, static_cast<off_t>(nOffset), SEEK_SET) >= 0; }

bool CKivFile::SeekBy(uint64_t n) {
    if (n > static_cast<uint64_t>(INT64_MAX)) {
        errno = EFBIG;
        return false;
    }
    return ::lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) >= 0;
}

bool CKivFile::FindData(uint64_t nFrom, uint64_t* pFirst, uint64_t* pEnd) {
    off_t d = ::lseek(m_fd, static_cast<off_t>(nFrom), SEEK_DATA);
    if (d < 0) return false;
    off_t h = ::lseek(m_fd, d, SEEK_HOLE);
    *pFirst = static_cast<uint64_t>(d);
    *pEnd = static_cast<uint64_t>(h < d ? d : h);
    return true;
}

bool CKivFile::IsRegular() const {
    struct stat st{};
    return ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool CKivFile::Size(uint64_t* pBytes) const {
    struct stat st{};
    if (::fstat(m_fd, &st) != 0) return false;
    *pBytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool CKivFile::Truncate(uint64_t nBytes) { return ::ftruncate(m_fd, static_cast<off_t>(nBytes)) == 0; }

bool CKivFile::Sync() { return ::fsync(m_fd) == 0; }

bool CKivFile::SeekEnd() { return ::lseek(m_fd, 0, SEEK_END) >= 0; }

bool CKivFile::LockWhole() {
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    int r;
    do r = ::fcntl(m_fd, F_SETLKW, &fl);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

void CKivFile::UnlockWhole() {
    struct flock fl{};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    ::fcntl(m_fd, F_SETLK, &fl);
}

void KivSyncDir(const std::string& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
