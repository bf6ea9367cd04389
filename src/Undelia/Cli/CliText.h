// Text for the terminal. Names come from the medium and may hold anything: escape sequences that
// would take over the terminal, newlines that forge output lines, bytes that are no UTF-8. Every
// human-readable line escapes them; JSON output stays exact.
#pragma once

#include <string>

#include "KivCommon.h"

// Exit codes of the program.
constexpr int CLI_EXIT_OK = 0;
constexpr int CLI_EXIT_USAGE = 1;   // bad usage or unusable input
constexpr int CLI_EXIT_FAILED = 2;  // the scan (or the command's work) failed
constexpr int CLI_EXIT_INTERRUPTED = 130;  // stopped by Ctrl-C (what was done so far is kept)

// Prints "undelia-cli: <text>" as one line on stderr.
void CliError(const std::string& strText);
// "<what>: <the text of KivErrStr.ini for the code>" (the text names the code).
void CliCodeError(const std::string& strWhat, KivResult nCode);

// Control characters as \n, \t, \r or \ooo, a backslash as \\, and each byte of an invalid UTF-8
// sequence as \ooo; valid UTF-8 text stays as it is.
std::string CliPrintable(const std::string& s);

// Prints s, made printable, and a newline on stdout.
void CliPrintLine(const std::string& s);

// Flushes and closes stdout at the end of a command: false with the reason when any of the output
// could not be written (a full disk, a closed pipe).
bool CliCloseStdout(std::string* pWhy);
