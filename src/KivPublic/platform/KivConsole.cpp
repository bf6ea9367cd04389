// Linux back end of the console: SIGINT through sigaction.
#include "platform/KivConsole.h"

#include <signal.h>
#include <unistd.h>

namespace {
void (*g_pfnInterrupt)() = nullptr;
void OnSignal(int) {
    if (g_pfnInterrupt) g_pfnInterrupt();
}
}  // namespace

void KivOnInterrupt(void (*pfn)()) {
    g_pfnInterrupt = pfn;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
}

void KivWriteErrNow(const char* p, size_t n) { (void)!::write(STDERR_FILENO, p, n); }

void KivExitNow(int nCode) { _exit(nCode); }

bool KivErrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }
