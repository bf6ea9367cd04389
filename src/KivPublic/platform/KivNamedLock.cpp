#include "platform/KivNamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/KivFileUtil.h"

std::string KivLockDir() {
    if (const char* p = std::getenv("XDG_RUNTIME_DIR"); p && *p == '/') {
        std::string dir = std::string(p) + "/undelia";
        if (KivMakeDirs(dir)) return dir;
    }
    std::string dir = "/tmp/undelia-" + std::to_string(::getuid());
    KivMakeDirs(dir);
    return dir;
}

CKivNamedLock::CKivNamedLock(const std::string& name) {
    // Names may carry a Windows-style namespace ("Global\...") or other separators: keep a flat file name.
    std::string flat;
    for (char c : name) flat += (c == '/' || c == '\\') ? '_' : c;
    if (flat.empty() || flat == "." || flat == "..") flat = "_" + flat;
    m_path = KivLockDir() + "/" + flat + ".lock";
}

CKivNamedLock::~CKivNamedLock() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CKivNamedLock::EnsureOpen() {
    if (m_fd >= 0 && m_pid == ::getpid()) return true;
    if (m_fd >= 0) ::close(m_fd);  // inherited through fork: it shares the parent's lock
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    m_pid = ::getpid();
    return m_fd >= 0;
}

bool CKivNamedLock::Lock() {
    if (!EnsureOpen()) return false;
    int r;
    do r = ::flock(m_fd, LOCK_EX);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

bool CKivNamedLock::TryLock() {
    return EnsureOpen() && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
}

void CKivNamedLock::Unlock() {
    if (m_fd >= 0 && m_pid == ::getpid()) ::flock(m_fd, LOCK_UN);
}
