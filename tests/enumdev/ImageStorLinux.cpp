// What only Linux has of the image device: character devices, and files the user may not read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CKivImageDev.h"

TEST(ImageStorLinux, CharacterDevicesAndUnreadableFiles) {
    CKivImageDev dev;
    IKivDevStor* p = nullptr;
    EXPECT_EQ(KivErrNo(dev.OpenImage("/dev/null", 0, &p)), KIV_E_NOTFILE);  // a character device holds no sectors
    if (::geteuid() == 0) return;  // root reads anything
    std::string good = (std::filesystem::temp_directory_path() / ("kivimage-locked." + std::to_string(::getpid()))).string();
    std::ofstream(good, std::ios::binary) << std::string(8192, 'x');
    ::chmod(good.c_str(), 0);
    EXPECT_EQ(KivErrNo(dev.OpenImage(good.c_str(), 0, &p)), KIV_E_IO);
    ::chmod(good.c_str(), 0644);
    std::filesystem::remove(good);
}
