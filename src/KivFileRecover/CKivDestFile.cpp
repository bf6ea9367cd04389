#include "CKivDestFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

CKivDestFile::~CKivDestFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CKivDestFile::Create(const std::string& path) {
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    m_fd = ::open(path.c_str(), flags, 0666);
    if (m_fd < 0) {
        ::unlink(path.c_str());
        m_fd = ::open(path.c_str(), flags, 0666);
    }
    m_nLength = 0;
    m_bHoleAtEnd = false;
    return m_fd >= 0;
}

bool CKivDestFile::Write(const void* p, size_t n) {
    auto* pb = static_cast<const uint8_t*>(p);
    size_t left = n;
    while (left) {
        ssize_t r = ::write(m_fd, pb, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
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
    if (n > kMaxOff - m_nLength) return false;
    if (::lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) < 0) return false;
    m_nLength += n;
    m_bHoleAtEnd = true;
    return true;
}

bool CKivDestFile::Close() {
    if (m_fd < 0) return false;
    bool ok = !m_bHoleAtEnd || ::ftruncate(m_fd, static_cast<off_t>(m_nLength)) == 0;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    return ok;
}
