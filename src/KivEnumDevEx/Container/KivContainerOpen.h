// Telling a disk image's format by its content and opening the container it is.
#pragma once

#include <memory>
#include <string>

#include "CKivContainer.h"
#include "KivCommon.h"

enum class KivImageKind {
    kRaw,       // no container: the file's bytes are the disk
    kSplitRaw,  // a raw image in pieces (.001, .002, ...)
    kEwf,       // EnCase E01
    kEwf2,      // EnCase Ex01
    kVhd,
    kVhdx,
    kVmdk,
    kQcow,
    kOther,     // a container of a kind not read (logical evidence files)
};

// The kind of the image file at strPath by its first and last bytes; a split raw image also by its
// name (".001" with a ".002" beside it). A file that cannot be read counts as raw.
KivImageKind KivSniffImage(const std::string& strPath);
// "E01", "VHD", ... for messages; "raw" for kRaw.
const char* KivImageKindName(KivImageKind kind);

// Opens the container of a file that is one. Null for a raw image (*pWhy empty) and on failure
// (*pWhy says why: a library this build lacks, a missing segment or parent, damage).
std::unique_ptr<CKivContainer> KivOpenContainer(const std::string& strPath, KivImageKind kind, std::string* pWhy);

// One line per container format: "E01: libewf.so.2" or "E01: unavailable (...)".
std::string KivContainerFormats();

// The result code of a container that failed to open with the reason strWhy: KIV_E_NOFORMAT when
// the library of its format is lacking, KIV_E_CONTAINER otherwise.
KivResult KivContainerFailure(const std::string& strWhy);
