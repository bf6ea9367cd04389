// Windows back end of the destination check: the destination's volume (GetVolumePathNameW) and its
// disk extents against the disk, volume or image being scanned (KivWinDestJudge.h).
#include "platform/KivDestMedium.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "KivWin32.h"
#include "platform/KivFileUtil.h"
#include "platform/KivText.h"
#include "platform/KivWinDestJudge.h"
#include "platform/KivWinDevApi.h"

namespace {

// The root of the volume that holds an existing path ("C:\", or a folder a volume is mounted on).
std::string VolumeOf(const std::string& path) {
    std::vector<wchar_t> buf(32768);
    if (!GetVolumePathNameW(KivWinPath(path).c_str(), buf.data(), static_cast<DWORD>(buf.size()))) return {};
    std::wstring w(buf.data());
    if (w.rfind(L"\\\\?\\", 0) == 0 && w.size() > 5 && w[5] == L':') w = w.substr(4);
    return KivWideToUtf8(w);
}

}  // namespace

std::string KivExistingAncestor(const std::string& path) {
    std::string p = KivFromWinPath(KivWinPath(path.empty() ? "." : path));  // absolute
    while (!p.empty() && !KivPathExists(p)) {
        std::string up = KivDirOf(p);
        if (up.empty() || up == p) return {};
        p = up;
    }
    return p;
}

KivDestVerdict KivJudgeDestination(const KivSourceId&, dev_t, const std::string& strDestDir, const KivMediumRoots&) {
    // Device numbers are Linux's: on Windows only the path form judges. Refusing nothing here would
    // let a caller of this form write anywhere, so it refuses unless the destination is judged.
    KivDestVerdict v;
    v.place = KivDestPlace::kOnScannedMedium;
    v.strWhy = "the destination " + strDestDir + " cannot be compared with the medium being scanned";
    return v;
}

KivDestVerdict KivJudgeDestination(const std::string& strSource, const std::string& strDest, const KivMediumRoots&) {
    std::string dir = KivExistingAncestor(strDest);
    IKivWinDevApi* pApi = KivWinDevApi();
    if (dir.empty() || !pApi) return {};
    KivWinDestFacts dest;
    dest.strVolume = VolumeOf(dir);
    dest.extents = KivWinVolumeExtents(*pApi, dest.strVolume);
    std::string imageVolume = KivIsFile(strSource) ? VolumeOf(strSource) : std::string();
    return KivWinJudgeDestination(KivWinSourceOf(*pApi, strSource, imageVolume), dest);
}

namespace {

// The volume serial and file index of an existing file: the same pair is the same file, whatever
// name (hard link, short name, other letter of the volume) leads to it.
bool FileIdOf(const std::string& path, uint64_t* pVolume, uint64_t* pIndex) {
    HANDLE h = CreateFileW(KivWinPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION bi{};
    bool ok = GetFileInformationByHandle(h, &bi) != 0;
    CloseHandle(h);
    *pVolume = bi.dwVolumeSerialNumber;
    *pIndex = (static_cast<uint64_t>(bi.nFileIndexHigh) << 32) | bi.nFileIndexLow;
    return ok;
}

}  // namespace

KivDestVerdict KivJudgeOutputFile(const std::string& strSource, const std::string& strFile, const KivMediumRoots&) {
    KivDestVerdict v;
    if (strFile.empty()) return v;
    auto refuse = [&](const std::string& why) {
        v.place = KivDestPlace::kOnScannedMedium;
        v.strWhy = why;
        return v;
    };
    std::string norm = strFile;
    for (char& c : norm)
        if (c == '/') c = '\\';
    if (norm.rfind("\\\\.\\", 0) == 0 || norm.rfind("\\\\?\\GLOBALROOT", 0) == 0)
        return refuse("'" + strFile + "' is a device, which is never written");
    uint64_t vs = 0, is = 0, vf = 0, jf = 0;
    if (KivIsFile(strSource) && FileIdOf(strSource, &vs, &is) && FileIdOf(strFile, &vf, &jf) && vs == vf && is == jf)
        return refuse("'" + strFile + "' is the image being read");
    std::string dir = KivDirOf(KivAbsolutePath(strFile));
    return KivJudgeDestination(strSource, dir.empty() ? std::string(".") : dir);
}

std::string KivDestUnusable(const std::string& strDest) {
    std::string q = "'" + strDest + "'";
    bool bExists = KivPathExists(strDest);
    if (bExists && !KivIsDir(strDest)) return q + " is not a folder";
    std::string dir = KivExistingAncestor(strDest);
    if (dir.empty()) return "cannot create " + q;
    if (!KivIsDir(dir)) return "cannot create " + q + ": " + dir + " is not a folder";
    std::string vol = VolumeOf(dir);
    if (vol.size() >= 2 && vol[1] == ':') {
        UINT t = GetDriveTypeW(KivUtf8ToWide(vol).c_str());
        if (t == DRIVE_CDROM) return q + " lies on an optical drive, which takes no files written this way";
        if (t == DRIVE_NO_ROOT_DIR) return "cannot create " + q + ": " + vol + " is no drive";
    }
    if (!KivCanWriteDir(dir)) return (bExists ? "cannot write into " + q : "cannot create " + q) + ": access denied";
    return {};
}
