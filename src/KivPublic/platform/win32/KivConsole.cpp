// Windows back end of the console: Ctrl-C through the console's control handler, which the system
// calls on a thread of its own.
#include "platform/KivConsole.h"

#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "KivWin32.h"

namespace {
std::atomic<void (*)()> g_pfnInterrupt{nullptr};
BOOL WINAPI OnControl(DWORD nType) {
    if (nType != CTRL_C_EVENT && nType != CTRL_BREAK_EVENT) return FALSE;
    if (auto pfn = g_pfnInterrupt.load()) pfn();
    return TRUE;  // handled: the program winds down itself
}
}  // namespace

void KivOnInterrupt(void (*pfn)()) {
    g_pfnInterrupt = pfn;
    SetConsoleCtrlHandler(OnControl, TRUE);
}

void KivWriteErrNow(const char* p, size_t n) {
    DWORD nDone = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), p, static_cast<DWORD>(n), &nDone, nullptr);
}

void KivExitNow(int nCode) { std::_Exit(nCode); }

bool KivErrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
