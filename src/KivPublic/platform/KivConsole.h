// The console of a command-line program: Ctrl-C, whether the error stream is a terminal, and the
// few calls an interrupt handler may make.
#pragma once

#include <cstddef>

// Calls pfn on every Ctrl-C (a signal handler on Linux, the console's control handler thread on
// Windows): it may only touch lock-free atomics and the two calls below.
void KivOnInterrupt(void (*pfn)());
// Writes to the error stream unbuffered, safely inside an interrupt handler.
void KivWriteErrNow(const char* p, size_t n);
// Ends the process at once with nCode, running no exit handlers.
[[noreturn]] void KivExitNow(int nCode);
// Whether the error stream is a terminal (a live status line is drawn there).
bool KivErrIsTerminal();
