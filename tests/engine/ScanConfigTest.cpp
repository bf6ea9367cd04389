// Where the start position and the scanner subset come from, and the memory status text.
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

TEST(ScanConfig, PathFollowsTheEnvironment) {
    ::setenv("UNDELIA_CONFIG_INI", "/x/y.ini", 1);
    EXPECT_EQ(KivScanConfigPath(), "/x/y.ini");
    ::unsetenv("UNDELIA_CONFIG_INI");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(KivScanConfigPath(), "/cfg/undelia/config.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(KivScanConfigPath(), "/home/u/.config/undelia/config.ini");
}

TEST(ScanConfig, StartSectorNeedsACleanNumber) {
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

TEST(ScanConfig, ScannerSubset) {
    KivScannerSet all = KivParseScannerSet(nullptr);
    EXPECT_TRUE(all.bFat && all.bNtfs && all.bRaw && all.bExFat && all.bExt);
    KivScannerSet exfat = KivParseScannerSet("exFAT");
    EXPECT_TRUE(exfat.bExFat);
    EXPECT_FALSE(exfat.bFat || exfat.bNtfs || exfat.bRaw || exfat.bExt);
    KivScannerSet ext = KivParseScannerSet("EXT");
    EXPECT_TRUE(ext.bExt);
    EXPECT_FALSE(ext.bFat || ext.bNtfs || ext.bRaw || ext.bExFat);
    KivScannerSet fat = KivParseScannerSet("FAT");
    EXPECT_TRUE(fat.bFat);
    EXPECT_FALSE(fat.bNtfs || fat.bRaw);
    KivScannerSet two = KivParseScannerSet("raw, ntfs,bogus");
    EXPECT_FALSE(two.bFat);
    EXPECT_TRUE(two.bNtfs && two.bRaw);
    KivScannerSet none = KivParseScannerSet("none");
    EXPECT_FALSE(none.bFat || none.bNtfs || none.bRaw || none.bExFat || none.bExt);
}

TEST(AllocGuard, MemoryStatusLines) {
    const char* pszMeminfo =
        "MemTotal:       16384000 kB\nMemFree:          100000 kB\nMemAvailable:    8192000 kB\n"
        "SwapTotal:       2097152 kB\nSwapFree:        1048576 kB\n";
    EXPECT_EQ(KivMemoryStatusText(pszMeminfo),
              "Total physical memory:16000 MB\tAvailable physical memory:8000 MB\n"
              "Total   page    files:2048 MB\tAvailable    page   files:1024 MB");
    EXPECT_EQ(KivMemoryStatusText("MemTotal: 1 kB\n"), "");
}

TEST(AllocGuard, FailedAllocationAborts) {
    EXPECT_DEATH(KivAllocFailed(0x1234), "");
}

TEST(AllocGuard, ScopesNestAndUnwind) {
    EXPECT_EQ(KivAllocSize::Pending(), 0u);
    {
        KivAllocSize outer(0x1000);
        {
            KivAllocSize inner(0x2000);
            EXPECT_EQ(KivAllocSize::Pending(), 0x2000u);
        }
        EXPECT_EQ(KivAllocSize::Pending(), 0x1000u);
    }
    EXPECT_EQ(KivAllocSize::Pending(), 0u);
}

// The installed new-handler is what runs when operator new fails: called under a scope it logs that
// scope's size, outside every scope it says the size is not known; both end the process.
TEST(AllocGuard, NewHandlerLogsTheScopedSize) {
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
