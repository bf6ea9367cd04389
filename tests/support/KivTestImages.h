// Test images made once per build tree into a folder beside the output folder, made again when
// what makes them changes; a lock keeps test programs running side by side from racing.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

inline std::string KivReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// The folder KIV_BIN_DIR/../strFolder once make(folder) filled it for this strRecipe (the text
// that decides when to make the images again), or empty when it failed.
#ifdef _WIN32
// Windows runs no bash: scripts/test-windows makes the images on the Linux side first, into the
// same folder, and leaves its stamp there.
inline std::string KivTestImagesOnce(const std::string& strFolder, const std::string&,
                                     const std::function<bool(const std::string&)>&) {
    std::string d = std::string(KIV_BIN_DIR) + "/../" + strFolder;
    return std::filesystem::exists(d + "/stamp") ? d : std::string();
}
#else
inline std::string KivTestImagesOnce(const std::string& strFolder, const std::string& strRecipe,
                                     const std::function<bool(const std::string&)>& make) {
    std::string stamp = std::to_string(std::hash<std::string>{}(strRecipe));
    std::string d = std::string(KIV_BIN_DIR) + "/../" + strFolder;
    std::filesystem::create_directories(d);
    int fd = ::open((d + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (fd >= 0) ::flock(fd, LOCK_EX);
    bool bOk = KivReadAll(d + "/stamp") == stamp;
    if (!bOk) {
        bOk = make(d);
        if (bOk) std::ofstream(d + "/stamp") << stamp;
    }
    if (fd >= 0) ::close(fd);
    return bOk ? d : std::string();
}
#endif

// Runs a bash recipe, kept as strFolder/strName, as: bash <recipe> <folder> <the analysers' samples>.
inline bool KivRunRecipe(const std::string& strFolder, const std::string& strName, const char* pszRecipe) {
    std::string recipe = strFolder + "/" + strName;
    std::ofstream(recipe) << pszRecipe;
    return std::system(("bash '" + recipe + "' '" + strFolder + "' '" KIV_TEST_DATA_DIR "/analysers'").c_str()) == 0;
}

#ifdef KIV_SOURCE_DIR
// The folder the script scripts/<strScript> filled, or empty when it failed.
inline std::string KivTestImageDir(const std::string& strScript, const std::string& strFolder) {
    std::string script = std::string(KIV_SOURCE_DIR) + "/scripts/" + strScript;
    return KivTestImagesOnce(strFolder, KivReadAll(script),
                             [&](const std::string& d) { return std::system((script + " " + d + " >/dev/null").c_str()) == 0; });
}
#endif

// The machine's own disks stay out of the program's device list: empty system views under dir.
inline void KivHideMachineDisks(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "sys/block");
    std::filesystem::create_directories(dir / "dev");
    std::ofstream(dir / "mountinfo");
#ifdef _WIN32
    ::_putenv_s("UNDELIA_SYSFS_ROOT", (dir / "sys").string().c_str());
    ::_putenv_s("UNDELIA_DEV_ROOT", (dir / "dev").string().c_str());
    ::_putenv_s("UNDELIA_MOUNTINFO", (dir / "mountinfo").string().c_str());
#else
    ::setenv("UNDELIA_SYSFS_ROOT", (dir / "sys").c_str(), 1);
    ::setenv("UNDELIA_DEV_ROOT", (dir / "dev").c_str(), 1);
    ::setenv("UNDELIA_MOUNTINFO", (dir / "mountinfo").c_str(), 1);
#endif
}
