#include "CKivOutputGuard.h"

#include "CKivImageContainer.h"
#include "platform/KivDestMedium.h"

const char* CKivOutputGuard::What(KivOutput nKind) {
    switch (nKind) {
        case KivOutput::kRecoverFolder: return "the recovered files";
        case KivOutput::kReport: return "the report";
        case KivOutput::kSession: return "the session file";
        case KivOutput::kBadMap: return "the mapfile";
        case KivOutput::kPreview: return "the preview";
    }
    return "the output";
}

KivOutputVerdict CKivOutputGuard::Check(const std::string& strMedium, const std::string& strPath, KivOutput nKind) {
    KivOutputVerdict out;
    if (strMedium.empty() || strPath.empty()) return out;
    bool bFolder = nKind == KivOutput::kRecoverFolder || nKind == KivOutput::kPreview;
    KivDestVerdict v = bFolder ? KivJudgeDestination(strMedium, strPath) : KivJudgeOutputFile(strMedium, strPath);
    std::string what = What(nKind);
    // A container's disk is read from all its files: segments, extents, parent disks.
    std::string strPart;
    if (v.place != KivDestPlace::kOnScannedMedium)
        for (const std::string& f : CKivImageContainer::Files(strMedium)) {
            if (f == strMedium) continue;
            KivDestVerdict w = bFolder ? KivJudgeDestination(f, strPath) : KivJudgeOutputFile(f, strPath);
            if (w.place == KivDestPlace::kOnScannedMedium) {
                v = w;
                strPart = " (its file '" + f + "')";
                break;
            }
        }
    if (v.place == KivDestPlace::kOnScannedMedium) {
        out.bRefused = true;
        out.strText = "refusing to write " + what + " to '" + strPath + "' while reading '" + strMedium + "'" + strPart +
                      ": " + v.strWhy + "; that would overwrite the data being recovered (choose a place on another disk)";
    } else if (v.place == KivDestPlace::kSameFsAsImage && nKind == KivOutput::kRecoverFolder) {
        out.strText = "warning: '" + strPath + "' lies on the same file system as the image '" + strMedium +
                      "'; if the image is that file system's only copy of the lost data, recover to another disk";
    }
    return out;
}
