// Lock shared by every process of the user that uses the same name: an flock'd lock file on Linux,
// a named mutex on Windows, so the system releases it when a holder dies. One object per thread that takes the lock (flock does not
// exclude threads sharing one open file).
#pragma once

#include <string>

class CKivNamedLock {
public:
    explicit CKivNamedLock(const std::string& name);
    ~CKivNamedLock();
    CKivNamedLock(const CKivNamedLock&) = delete;
    CKivNamedLock& operator=(const CKivNamedLock&) = delete;

    bool Lock();     // waits without limit; false when the lock file cannot be had
    bool TryLock();  // false when another holder has it
    void Unlock();
    const std::string& Path() const { return m_path; }

private:
    bool EnsureOpen();
    std::string m_path;
#ifdef _WIN32
    void* m_h = nullptr;  // the named mutex
    bool m_bHeld = false;
#else
    int m_fd = -1;
    int m_pid = 0;  // the process that opened m_fd: a forked child must open its own
#endif
};

// Folder of the lock files: $XDG_RUNTIME_DIR/undelia, else /tmp/undelia-<uid>.
std::string KivLockDir();
