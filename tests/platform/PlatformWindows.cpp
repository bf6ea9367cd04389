// What only the Windows back end has to get right: paths past MAX_PATH, names Windows refuses,
// creation times and attributes, the registry, named mutexes.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "KivReg.h"
#include "KivScanResult.h"
#include "platform/KivBlockDev.h"
#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

// Wine keeps no creation time of its own on Linux file systems: it answers the last write time.
bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Removes a tree through the platform layer (the C++ library's own removal stops at MAX_PATH).
void RemoveTree(const std::string& path) {
    std::vector<std::string> names;
    if (KivPathTypeOf(path) == KivPathType::kDir && KivListDir(path, &names)) {
        for (const std::string& n : names) RemoveTree(path + "/" + n);
        KivRemoveDir(path);
    } else {
        KivRemoveFile(path);
    }
}

TEST(PlatformWindowsTest, PathsLongerThanMaxPathWork) {
    std::string base = (fs::temp_directory_path() / ("kivlong." + std::to_string(KivProcessId()))).generic_string();
    std::string dir = base;
    for (int i = 0; i < 6; ++i) dir += "/" + std::string(50, static_cast<char>('a' + i));
    ASSERT_GT(dir.size(), 300u);
    ASSERT_TRUE(KivMakeDirs(dir));
    CKivFile f;
    ASSERT_TRUE(f.Open(dir + "/file.bin", CKivFile::Mode::kCreateNew));
    ASSERT_TRUE(f.WriteAll("x", 1));
    f.Close();
    uint64_t n = 0;
    EXPECT_TRUE(KivFileSize(dir + "/file.bin", &n));
    EXPECT_EQ(n, 1u);
    EXPECT_TRUE(KivRenamePath(dir + "/file.bin", dir + "/renamed.bin"));
    std::vector<std::string> names;
    EXPECT_TRUE(KivListDir(dir, &names));
    EXPECT_EQ(names, std::vector<std::string>{"renamed.bin"});
    RemoveTree(base);
    EXPECT_FALSE(KivPathExists(base));
}

TEST(PlatformWindowsTest, NamesWindowsRefusesAreChanged) {
    EXPECT_EQ(KivDestName("report.txt"), "report.txt");
    EXPECT_EQ(KivDestName("CON"), "_CON");
    EXPECT_EQ(KivDestName("aux.txt"), "_aux.txt");
    EXPECT_EQ(KivDestName("Com1.log"), "_Com1.log");
    EXPECT_EQ(KivDestName("COM10"), "COM10");
    EXPECT_EQ(KivDestName("notes."), "notes.#");
    EXPECT_EQ(KivDestName("x:y*z?"), "x#y#z#");
    EXPECT_EQ(KivDestName("trailing "), "trailing #");
}

TEST(PlatformWindowsTest, CreationTimeAndAttributesAreSet) {
    std::string path = (fs::temp_directory_path() / ("kivattr." + std::to_string(KivProcessId()))).generic_string();
    CKivFile f;
    ASSERT_TRUE(f.Open(path, CKivFile::Mode::kCreateTrunc));
    f.Close();
    const uint64_t kCreate = KivUnixToFileTime(1000000000), kAccess = KivUnixToFileTime(1100000000),
                   kWrite = KivUnixToFileTime(1200000000);
    ASSERT_TRUE(KivSetFileTimes(path, kCreate, kAccess, kWrite));
    ASSERT_TRUE(KivSetFileAttributes(path, KIV_FA_READONLY | KIV_FA_SYSTEM));
    WIN32_FILE_ATTRIBUTE_DATA d{};
    ASSERT_TRUE(GetFileAttributesExW(fs::u8path(path).wstring().c_str(), GetFileExInfoStandard, &d));
    auto ft = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    if (!UnderWine()) EXPECT_EQ(ft(d.ftCreationTime), kCreate);
    EXPECT_EQ(ft(d.ftLastWriteTime), kWrite);
    EXPECT_TRUE(d.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(d.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(d.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(KivSetFileAttributes(path, 0));
    EXPECT_TRUE(KivRemoveFile(path));
}

TEST(PlatformWindowsTest, RegistryValuesRoundTrip) {
    CKivReg::SetStoreDir("platform-test-" + std::to_string(KivProcessId()));
    CKivReg reg;
    reg.SetRegPath(KIV_REG_CURRENT_USER, "Software\\Undelia", "Stats");
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(reg.WriteData2Reg("Sub", "Value", data, sizeof data), KIV_OK);
    uint8_t out[16] = {};
    uint32_t n = sizeof out;
    ASSERT_EQ(reg.ReadDataByReg("Sub", "Value", out, &n), KIV_OK);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(out[4], 5);
    n = 2;  // too small a buffer fails, as the registry answers
    EXPECT_NE(KivErrNo(reg.ReadDataByReg("Sub", "Value", out, &n)), 0u);
    EXPECT_EQ(reg.DeleteRegKey("Sub", "Value"), KIV_OK);
    n = sizeof out;
    EXPECT_NE(KivErrNo(reg.ReadDataByReg("Sub", "Value", out, &n)), 0u);
    EXPECT_EQ(reg.DeleteRegDir("Sub"), KIV_OK);
    EXPECT_NE(KivErrNo(reg.DeleteRegDir("Sub")), 0u);
    CKivReg::SetStoreDir("");
}

TEST(PlatformWindowsTest, NamedLockIsHeldAcrossObjectsOfOtherThreads) {
    const std::string name = "platform-test-lock-" + std::to_string(KivProcessId());
    CKivNamedLock a(name);
    ASSERT_TRUE(a.Lock());
    bool bOther = true;
    std::thread t([&] {
        CKivNamedLock b(name);
        bOther = b.TryLock();
    });
    t.join();
    EXPECT_FALSE(bOther);
    a.Unlock();
    std::thread t2([&] {
        CKivNamedLock b(name);
        bOther = b.TryLock();
        b.Unlock();
    });
    t2.join();
    EXPECT_TRUE(bOther);
}

// An image is opened for reading only, only such descriptors count as read-only (the device layer
// refuses the others), and reads land at their offsets whatever the file position.
TEST(PlatformWindowsTest, ImagesOpenReadOnlyAndReadAtOffsets) {
    std::string path = (fs::temp_directory_path() / ("kivimg." + std::to_string(KivProcessId()))).generic_string();
    {
        std::ofstream out(fs::u8path(path), std::ios::binary);
        for (int i = 0; i < 4096; ++i) out.put(static_cast<char>(i & 0xff));
    }
    int err = 0;
    int fd = KivOpenReadOnly(path, 1, &err);
    ASSERT_GE(fd, 0) << err;
    EXPECT_TRUE(KivIsReadOnlyFd(fd));
    EXPECT_TRUE(KivIsReadOnlyFdOf(fd, path));
    EXPECT_FALSE(KivIsReadOnlyFdOf(fd, path + ".other"));
    EXPECT_EQ(_write(fd, "x", 1), -1);
    KivBlockInfo info;
    ASSERT_TRUE(KivQueryBlockInfo(fd, &info));
    EXPECT_TRUE(info.bRegularFile);
    EXPECT_EQ(info.nBytes, 4096u);
    unsigned char buf[8] = {};
    ASSERT_EQ(KivPread(fd, buf, 4, 300), 4);
    EXPECT_EQ(buf[0], 300 & 0xff);
    EXPECT_EQ(buf[3], 303 & 0xff);
    EXPECT_EQ(KivPread(fd, buf, 8, 4092), 4);
    EXPECT_EQ(KivPread(fd, buf, 8, 4096), 0);
    int dup = KivDupReadOnly(fd);
    ASSERT_GE(dup, 0);
    EXPECT_TRUE(KivIsReadOnlyFd(dup));
    _close(dup);
    _close(fd);
    // Opened for writing elsewhere: not read-only to the device layer.
    int rw = _wopen(fs::u8path(path).wstring().c_str(), _O_RDWR | _O_BINARY);
    ASSERT_GE(rw, 0);
    EXPECT_FALSE(KivIsReadOnlyFd(rw));
    _close(rw);
    KivRemoveFile(path);
}

}  // namespace
