// The scanner subset, the memory status text and the allocation scopes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "KivAllocGuard.h"
#include "KivLogFile.h"
#include "KivScanConfig.h"

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
