// Text for the terminal. Names come from the medium and may hold anything: escape sequences that
// would take over the terminal, newlines that forge output lines, bytes that are no UTF-8. Every
// human-readable line escapes them; JSON output stays exact.
#pragma once

#include <string>

// Control characters as \n, \t, \r or \ooo, a backslash as \\, and each byte of an invalid UTF-8
// sequence as \ooo; valid UTF-8 text stays as it is.
std::string CliPrintable(const std::string& s);

// Prints s, made printable, and a newline on stdout.
void CliPrintLine(const std::string& s);

// Flushes and closes stdout at the end of a command: false with the reason when any of the output
// could not be written (a full disk, a closed pipe).
bool CliCloseStdout(std::string* pWhy);
