// The Windows program's application object: one copy at a time (the named mutex both desktop
// programs take), the common controls, the message pump the core calls while it waits for the
// engine, and the main window run until it closes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class CKivNamedLock;

class CWinUndeliaApp {
public:
    CWinUndeliaApp();
    ~CWinUndeliaApp();

    // The exit code: 0 also for a second copy, which leaves the first one alone.
    int Run(int nShow);
    // One message through the dialog navigation of the window it is for (Tab, Enter, Esc).
    static void Dispatch(MSG& msg);

private:
    bool TakeInstanceLock();
    std::unique_ptr<CKivNamedLock> m_pLock;
    std::string m_strScanDevice;
};
