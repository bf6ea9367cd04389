// Test images made by one of the image scripts: made once per build tree into a folder beside the
// output folder, made again when the script changes; a lock keeps test programs running side by
// side from racing.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// The folder the script scripts/<strScript> filled, or empty when it failed.
inline std::string KivTestImageDir(const std::string& strScript, const std::string& strFolder) {
    std::string script = std::string(KIV_SOURCE_DIR) + "/scripts/" + strScript;
    std::ifstream f(script, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    std::string stamp = std::to_string(std::hash<std::string>{}(text));
    std::string d = std::string(KIV_BIN_DIR) + "/../" + strFolder;
    std::filesystem::create_directories(d);
    int fd = ::open((d + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (fd >= 0) ::flock(fd, LOCK_EX);
    std::ifstream old(d + "/stamp");
    std::string have((std::istreambuf_iterator<char>(old)), {});
    bool bOk = have == stamp;
    if (!bOk) {
        bOk = std::system((script + " " + d + " >/dev/null").c_str()) == 0;
        if (bOk) std::ofstream(d + "/stamp") << stamp;
    }
    if (fd >= 0) ::close(fd);
    return bOk ? d : std::string();
}
