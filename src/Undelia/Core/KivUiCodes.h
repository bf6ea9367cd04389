// Error numbers the program itself raises at single steps of the workflow (the shared ones are in
// KivCommon.h). Each has its text in "KivErrStr.ini".
#pragma once

#include <cstdint>

enum : uint32_t {
    KIV_E_NOSPACE = 0x00F,         // the destination has less free space than the selection needs
    KIV_E_DEVCHANGED = 0x015,      // the chosen device is gone or another one took its place
    KIV_E_STOPPED = 0x041,         // the user stopped a folder recovery
    KIV_E_PREVIEW = 0x053,         // the file could not be recovered for preview
    KIV_E_NOTYPE = 0x054,          // no file type chosen
    KIV_E_RUNNING = 0x058,         // another instance of the program runs
    KIV_E_NOTHINGFOUND = 0x05A,    // the scan or the filter found nothing
    KIV_E_NOSELECTION = 0x05B,     // no file ticked
    KIV_E_NODESTFOLDER = 0x05C,    // the destination is not an existing folder
    KIV_E_ONMEDIUM = 0x05D,        // the place chosen to write lies on the medium being read
    KIV_E_NOMEMORY = 0x05E,        // memory ran out while building what was asked for
};

// The named lock that keeps a second copy of the desktop program from starting (a named mutex on
// Windows), the same for both desktop front ends.
inline constexpr const char* kKivInstanceLock = "Global\\TessmarkUndeliaData";
