// Windows back end of the named lock: a named mutex. A holder that dies leaves it abandoned, which
// the next waiter takes as its own.
#include "platform/KivNamedLock.h"

#include "KivWin32.h"
#include "platform/KivFileUtil.h"
#include "platform/KivText.h"

std::string KivLockDir() { return KivUserDir("XDG_RUNTIME_DIR", ""); }

CKivNamedLock::CKivNamedLock(const std::string& name) {
    // Kernel object names take no "\" but after the namespace.
    std::string flat;
    for (char c : name) flat += (c == '\\' || c == '/') ? '_' : c;
    bool bGlobal = name.rfind("Global\\", 0) == 0;
    m_path = bGlobal ? "Global\\" + flat.substr(7) : "Local\\undelia-" + flat;
}

CKivNamedLock::~CKivNamedLock() {
    if (m_bHeld) Unlock();
    if (m_h) CloseHandle(static_cast<HANDLE>(m_h));
}

bool CKivNamedLock::EnsureOpen() {
    if (m_h) return true;
    m_h = CreateMutexW(nullptr, FALSE, KivUtf8ToWide(m_path).c_str());
    if (!m_h && m_path.rfind("Global\\", 0) == 0)
        m_h = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, KivUtf8ToWide(m_path).c_str());
    return m_h != nullptr;
}

bool CKivNamedLock::Lock() {
    if (!EnsureOpen()) return false;
    DWORD r = WaitForSingleObject(static_cast<HANDLE>(m_h), INFINITE);
    m_bHeld = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    return m_bHeld;
}

bool CKivNamedLock::TryLock() {
    if (!EnsureOpen()) return false;
    DWORD r = WaitForSingleObject(static_cast<HANDLE>(m_h), 0);
    m_bHeld = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    return m_bHeld;
}

void CKivNamedLock::Unlock() {
    if (m_h && m_bHeld) ReleaseMutex(static_cast<HANDLE>(m_h));
    m_bHeld = false;
}
