// Where the start position comes from (the environment, the configuration file), and the allocation
// guard's end of the process.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "KivAllocGuard.h"
#include "KivLogFile.h"
#include "KivScanConfig.h"

TEST(ScanConfigLinux, PathFollowsTheEnvironment) {
    ::setenv("UNDELIA_CONFIG_INI", "/x/y.ini", 1);
    EXPECT_EQ(KivScanConfigPath(), "/x/y.ini");
    ::unsetenv("UNDELIA_CONFIG_INI");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(KivScanConfigPath(), "/cfg/undelia/config.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(KivScanConfigPath(), "/home/u/.config/undelia/config.ini");
}

TEST(ScanConfigLinux, StartSectorNeedsACleanNumber) {
    char szDir[] = "/tmp/kiv-cfg-XXXXXX";
    ASSERT_NE(::mkdtemp(szDir), nullptr);
    std::string path = std::string(szDir) + "/config.ini";
    ::setenv("UNDELIA_CONFIG_INI", path.c_str(), 1);
    EXPECT_EQ(KivReadScanStartSector(), 0u);  // no file
    struct Case {
        const char* text;
        uint64_t n;
    } cases[] = {{"[MAIN]\nPos = 8192\n", 8192},
                 {"[main]\npos=12abc\n", 0},
                 {"[main]\npos=-5\n", 0},
                 {"[main]\npos=\n", 0},
                 {"[main]\npos=18446744073709551616\n", 0},
                 {"[main]\npos=18446744073709551615\n", UINT64_MAX},
                 {"[other]\npos=7\n", 0}};
    for (const Case& c : cases) {
        std::ofstream(path) << c.text;
        EXPECT_EQ(KivReadScanStartSector(), c.n) << c.text;
    }
    ::unsetenv("UNDELIA_CONFIG_INI");
    ::unlink(path.c_str());
    ::rmdir(szDir);
}

TEST(AllocGuardLinux, FailedAllocationAborts) {
    EXPECT_DEATH(KivAllocFailed(0x1234), "");
}

// The installed new-handler is what runs when operator new fails: called under a scope it logs that
// scope's size, outside every scope it says the size is not known; both end the process.
TEST(AllocGuardLinux, NewHandlerLogsTheScopedSize) {
    char szDir[] = "/tmp/kiv-alloc-XXXXXX";
    ASSERT_NE(::mkdtemp(szDir), nullptr);
    KivLogSetDir(szDir);
    KivInstallAllocGuard();
    std::new_handler handler = std::get_new_handler();
    ASSERT_NE(handler, nullptr);
    EXPECT_DEATH(
        {
            KivAllocSize size(0x123456789ull);
            handler();
        },
        "");
    EXPECT_DEATH(handler(), "");
    KivLogSetDir("");
    std::ifstream in(std::string(szDir) + "/" + KIV_LOG_FILE_NARROW, std::ios::binary);
    std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(log.find("Failed to alloc 0x123456789 bytes"), std::string::npos) << log;
    EXPECT_NE(log.find("Failed to alloc memory (size not known)"), std::string::npos) << log;
    EXPECT_NE(log.find("Memory status:"), std::string::npos) << log;
    std::filesystem::remove_all(szDir);
}
