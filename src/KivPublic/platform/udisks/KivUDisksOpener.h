// Read-only descriptors of block devices from udisks2 over the system D-Bus, for a program that
// does not run as root: udisks2 checks with polkit (which may ask for the administrator password)
// and passes back a descriptor it opened. Linked by the programs only, never by the libraries.
#pragma once

#include <cstdint>
#include <string>

#include "IKivDevStor.h"

class CKivUDisksOpener : public IKivDevOpener {
public:
    // Tries Block.OpenDevice with mode "r" first, then Block.OpenForBackup (older udisks2).
    int OpenReadOnly(const char* pszPath, char* pszWhy, uint32_t nWhySize) override;

    // The reason of the last failure ("" after a success).
    const std::string& LastReason() const { return m_strReason; }
    // True when the last failure came from udisks2 being unreachable (no bus, not running).
    bool LastWasUnavailable() const { return m_bUnavailable; }

    // Run every few milliseconds on the opening thread while udisks2 (and polkit, and the user
    // typing the password) has not answered; a desktop program repaints its window there.
    void SetWaitHook(void (*pfnWait)()) { m_pfnWait = pfnWait; }

    // What a user is told when raw disks cannot be read without administrator rights and
    // udisks2 cannot be asked: by default the command line's advice (sudo); a desktop program,
    // which should never run as root as a whole, gives its own.
    std::string AdminHint() const { return m_strAdminHint.empty() ? CommandLineHint() : m_strAdminHint; }
    void SetAdminHint(std::string strHint) { m_strAdminHint = std::move(strHint); }
    static std::string CommandLineHint();

private:
    int Fail(const std::string& strWhy, bool bUnavailable, char* pszWhy, uint32_t nWhySize);

    std::string m_strReason, m_strAdminHint;
    bool m_bUnavailable = false;
    void (*m_pfnWait)() = nullptr;
};
