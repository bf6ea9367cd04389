#include "CKivDestFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

CKivDestFile::~CKivDestFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CKivDestFile::Create(const std::string& path) {
    m_nLength = 0;
    m_bHoleAtEnd = false;
    m_nErrno = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt) ::unlink(path.c_str());
        // No O_TRUNC: truncating even an empty file makes ext4 flush it on close, which costs a
        // third of the copy speed; only a file with content is cut. O_NONBLOCK keeps a FIFO planted
        // under the name from blocking the open; anything but a regular file is refused.
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            m_nErrno = errno;
            continue;
        }
        struct stat st;
        if (::fstat(m_fd, &st) != 0) {
            m_nErrno = errno;
        } else if (!S_ISREG(st.st_mode)) {
            m_nErrno = EEXIST;  // something that is not a file holds the name
        } else if (st.st_size == 0 || ::ftruncate(m_fd, 0) == 0) {
            m_nErrno = 0;
            return true;
        } else {
            m_nErrno = errno;
        }
        ::close(m_fd);
        m_fd = -1;
    }
    return false;
}

bool CKivDestFile::Write(const void* p, size_t n) {
    auto* pb = static_cast<const uint8_t*>(p);
    size_t left = n;
    while (left) {
        ssize_t r = ::write(m_fd, pb, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            m_nErrno = r < 0 ? errno : EIO;
            return false;
        }
        pb += r;
        left -= static_cast<size_t>(r);
    }
    m_nLength += n;
    if (n) m_bHoleAtEnd = false;
    return true;
}

bool CKivDestFile::WriteZeros(uint64_t n) {
    if (n == 0) return true;
    constexpr uint64_t kMaxOff = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (n > kMaxOff - m_nLength) {
        m_nErrno = EFBIG;
        return false;
    }
    if (::lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) < 0) {
        m_nErrno = errno;
        return false;
    }
    m_nLength += n;
    m_bHoleAtEnd = true;
    return true;
}

bool CKivDestFile::Close() {
    if (m_fd < 0) return false;
    bool ok = !m_bHoleAtEnd || ::ftruncate(m_fd, static_cast<off_t>(m_nLength)) == 0;
    if (!ok) m_nErrno = errno;
    // A delayed write error (a full disk on a network or FUSE file system) shows up here.
    if (::close(m_fd) != 0) {
        if (ok) m_nErrno = errno;
        ok = false;
    }
    m_fd = -1;
    return ok;
}
