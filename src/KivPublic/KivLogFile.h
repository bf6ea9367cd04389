// Control of the shared log files beyond the logging calls of KivLog.h.
#pragma once

#include <string>

constexpr const char* KIV_LOG_FILE_WIDE = "KivUnic.DAT";
constexpr const char* KIV_LOG_FILE_NARROW = "KivStr.DAT";
// A file is emptied before a write when it is larger than this (5 MiB).
constexpr long long KIV_LOG_CAP_BYTES = 0x500000;
// Name of the lock every writer of every process takes for each line.
constexpr const char* KIV_LOG_LOCK_NAME = "Global\\_KIV_20140616";

// Sends the logs of this copy of the shared code to another folder (empty: back to the default
// of KivGetLogDir). Open files are closed; the next line opens the pair in the new folder.
void KivLogSetDir(const std::string& dir);
// Closes the pair; the next line opens it again. Also run at process exit.
void KivLogClose();
// Writes one already formatted UTF-8 text as a line of the wide log. Prefer it (or KivLogA) to
// KivLogW for text with non-ASCII narrow arguments: wide formats follow the C library, where "%ls"
// takes a wide string and "%s" a narrow one that the "C" locale cannot convert beyond ASCII.
void KivLogTextW(const std::string& text);
// The narrow log file's path in a fixed buffer, for the crash handler, which appends to it
// without the writer's locks. Filled on the first call, refreshed by KivLogSetDir.
const char* KivLogNarrowPath();
