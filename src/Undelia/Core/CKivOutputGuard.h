// The one check that every path the program writes passes before anything is read: the recovery
// folder, the report, the session file, the mapfile, the preview folder. Whatever is written onto
// the medium being read overwrites the very data still to be recovered, so what this refuses no
// option overrides. Both front ends ask it up front, and the core's writers ask it again.
#pragma once

#include <string>

enum class KivOutput {
    kRecoverFolder,  // the folder recovered files go into
    kReport,         // the recovery report
    kSession,        // a saved scan
    kBadMap,         // the mapfile of unreadable areas
    kPreview,        // the folder a previewed file is recovered into
};

struct KivOutputVerdict {
    bool bRefused = false;
    // One line naming the output and the medium: why it is refused, or a warning worth showing
    // (the image's own file system) when it is not; empty otherwise.
    std::string strText;
};

class CKivOutputGuard {
public:
    // strMedium is the path of the image or device being read; an empty one refuses nothing.
    static KivOutputVerdict Check(const std::string& strMedium, const std::string& strPath, KivOutput nKind);
    // What is written, for messages ("the report", "the recovered files", ...).
    static const char* What(KivOutput nKind);
};
