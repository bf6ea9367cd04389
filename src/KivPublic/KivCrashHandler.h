// Fatal-signal handler: writes "KIVDump.dmp" (signal, fault address, backtrace, memory map)
// beside the program, logs two narrow lines, then lets the signal end the process as it would have.
#pragma once

#include <string>

constexpr const char* KIV_DUMP_FILE = "KIVDump.dmp";

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT. Idempotent. The program
// (module 0x12) installs it during static initialisation; libraries never do.
void KivInstallCrashHandler();
// Folder the dump goes to: the executable's folder when writable, else the log folder.
std::string KivDumpDir();
