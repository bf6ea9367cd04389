// The platform layer's file calls, digests and texts: the same answers on every system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/KivAtomicFile.h"
#include "platform/KivBlockDev.h"
#include "platform/KivDigest.h"
#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"
#include "platform/KivFnMatch.h"
#include "platform/KivPlatform.h"
#include "platform/KivText.h"

namespace fs = std::filesystem;

namespace {

class PlatformFsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = (fs::temp_directory_path() / ("kivplat." + std::to_string(KivProcessId()))).generic_string();
        fs::remove_all(fs::u8path(m_dir));
        ASSERT_TRUE(KivMakeDirs(m_dir + "/a/b"));
    }
    void TearDown() override { fs::remove_all(fs::u8path(m_dir)); }
    std::string m_dir;
};

std::string Hex(const std::vector<uint8_t>& d) {
    std::string s;
    for (uint8_t b : d) {
        s += "0123456789abcdef"[b >> 4];
        s += "0123456789abcdef"[b & 15];
    }
    return s;
}

TEST_F(PlatformFsTest, FilesFoldersAndTheirErrors) {
    // A name outside ASCII, as recovered names often are.
    const std::string name = m_dir + "/a/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt";
    CKivFile f;
    ASSERT_TRUE(f.Open(name, CKivFile::Mode::kCreateNew));
    ASSERT_TRUE(f.WriteAll("hello world", 11));
    ASSERT_TRUE(f.WriteAllAt(6, "WORLD", 5));
    ASSERT_TRUE(f.Close());
    EXPECT_FALSE(f.Open(name, CKivFile::Mode::kCreateNew));
    EXPECT_EQ(errno, EEXIST);

    ASSERT_TRUE(f.Open(name, CKivFile::Mode::kRead));
    char buf[32] = {};
    EXPECT_EQ(f.ReadAt(6, buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "WORLD");
    uint64_t n = 0;
    EXPECT_TRUE(f.Size(&n));
    EXPECT_EQ(n, 11u);
    f.Close();

    EXPECT_EQ(KivPathTypeOf(name), KivPathType::kFile);
    EXPECT_EQ(KivPathTypeOf(m_dir + "/a"), KivPathType::kDir);
    EXPECT_EQ(KivPathTypeOf(m_dir + "/none"), KivPathType::kNone);
    EXPECT_TRUE(KivIsFile(name) && !KivIsDir(name) && KivIsDir(m_dir + "/a/b"));

    EXPECT_FALSE(KivMakeDir(m_dir + "/a/b"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(KivMakeDir(m_dir + "/none/x"));
    EXPECT_EQ(errno, ENOENT);

    std::vector<std::string> names;
    ASSERT_TRUE(KivListDir(m_dir + "/a", &names));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "b");
    EXPECT_EQ(m_dir + "/a/" + names[1], name);

    // A rename replaces a file that holds the new name.
    ASSERT_TRUE(f.Open(m_dir + "/old", CKivFile::Mode::kCreateTrunc));
    f.Close();
    EXPECT_TRUE(KivRenamePath(name, m_dir + "/old"));
    EXPECT_FALSE(KivPathExists(name));
    EXPECT_TRUE(KivFileSize(m_dir + "/old", &n));
    EXPECT_EQ(n, 11u);
    EXPECT_TRUE(KivRemoveFile(m_dir + "/old"));
    EXPECT_FALSE(KivRemoveFile(m_dir + "/old"));
    EXPECT_EQ(errno, ENOENT);

    uint64_t nFree = 0;
    EXPECT_TRUE(KivFreeBytes(m_dir, &nFree));
    EXPECT_GT(nFree, 0u);
    EXPECT_TRUE(KivCanWriteDir(m_dir));
}

TEST_F(PlatformFsTest, AtomicFileKeepsTheOldContentOnFailureAndReplacesItOtherwise) {
    const std::string path = m_dir + "/state";
    std::string why;
    ASSERT_TRUE(KivWriteFileAtomic(path, {{"one", 3}}, &why)) << why;
    ASSERT_TRUE(KivWriteFileAtomic(path, {{"two", 3}, {"!", 1}}, &why)) << why;
    std::vector<uint8_t> got;
    ASSERT_TRUE(KivReadWholeFile(path, &got, &why)) << why;
    EXPECT_EQ(std::string(got.begin(), got.end()), "two!");
    EXPECT_FALSE(KivWriteFileAtomic(m_dir + "/none/state", {{"x", 1}}, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(KivReadWholeFile(m_dir + "/a", &got, &why));  // a folder
}

// An image file through the raw device calls: opened for reading only, its size, positioned reads
// that end short at the end of the file, and the kinds of paths an image may be.
TEST_F(PlatformFsTest, ImageFilesReadThroughTheDeviceCalls) {
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    const std::string path = m_dir + "/disk.img";
    {
        CKivFile f;
        ASSERT_TRUE(f.Open(path, CKivFile::Mode::kCreateNew));
        ASSERT_TRUE(f.WriteAll(bytes.data(), bytes.size()));
    }
    int err = 0;
    int fd = KivOpenReadOnly(path, 1, &err);
    ASSERT_GE(fd, 0) << err;
    EXPECT_TRUE(KivIsReadOnlyFd(fd));
    KivBlockInfo info;
    ASSERT_TRUE(KivQueryBlockInfo(fd, &info));
    EXPECT_TRUE(info.bRegularFile && info.bHasBytes && !info.bBlockDevice);
    EXPECT_EQ(info.nBytes, 1000u);
    std::vector<uint8_t> got(600, 0xEE);
    ASSERT_EQ(KivPread(fd, got.data(), got.size(), 512), 488);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 488, bytes.begin() + 512));
    EXPECT_EQ(KivPread(fd, got.data(), 16, 4096), 0);
    int dup = KivDupReadOnly(fd);
    ASSERT_GE(dup, 0);
    KivCloseDev(fd);
    ASSERT_EQ(KivPread(dup, got.data(), 8, 0), 8);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 8, bytes.begin()));
    KivCloseDev(dup);

    EXPECT_EQ(KivKindOfPath(path, &err), KivPathKind::kRegularFile);
    EXPECT_EQ(KivKindOfPath(m_dir + "/a", &err), KivPathKind::kOther);
    err = 0;
    EXPECT_EQ(KivKindOfPath(m_dir + "/none.img", &err), KivPathKind::kMissing);
    EXPECT_EQ(err, ENOENT);
    EXPECT_LT(KivOpenReadOnly(m_dir + "/none.img", 1, &err), 0);
    EXPECT_EQ(err, ENOENT);
    void* p = KivAlignedAlloc(1 << 16);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, 0u);
    KivAlignedFree(p);
}

// The wildcards of `recover --select/PATTERN`, the same on both systems.
TEST(PlatformTextTest, WildcardsMatchAsTheShellsDo) {
    EXPECT_TRUE(KivFnMatch("*.jpg", "DCIM/a.JPG", true));
    EXPECT_FALSE(KivFnMatch("*.jpg", "DCIM/a.JPG", false));
    EXPECT_TRUE(KivFnMatch("*letter.txt", "Docs/Old/letter.txt", false));  // '*' crosses '/'
    EXPECT_TRUE(KivFnMatch("Docs/*/l?tter.*", "Docs/Old/letter.txt", false));
    EXPECT_FALSE(KivFnMatch("Docs/*/l?tter.*", "Docs/Old/ltter.txt", false));
    EXPECT_TRUE(KivFnMatch("file?.[ch]", "file1.c", false));
    EXPECT_FALSE(KivFnMatch("file?.[!ch]", "file1.c", false));
    EXPECT_TRUE(KivFnMatch("[a-c]x", "Bx", true));
    EXPECT_FALSE(KivFnMatch("[a-c]x", "dx", true));
    EXPECT_TRUE(KivFnMatch("[]]", "]", false));
    EXPECT_TRUE(KivFnMatch("\\*", "*", false));
    EXPECT_FALSE(KivFnMatch("\\*", "a", false));
    EXPECT_TRUE(KivFnMatch("a[", "a[", false));
    EXPECT_TRUE(KivFnMatch("*a*b*", "xxaxxbxx", false));
    EXPECT_FALSE(KivFnMatch("*a*b", "xxaxxbxx", false));
    EXPECT_TRUE(KivFnMatch("", "", false));
    EXPECT_FALSE(KivFnMatch("", "a", false));
}

TEST(PlatformDigestTest, KnownVectors) {
    CKivDigest sha(CKivDigest::Kind::kSha256), md5(CKivDigest::Kind::kMd5);
    ASSERT_TRUE(sha.Ok() && md5.Ok());
    sha.Add("a", 1);
    sha.Add("bc", 2);
    md5.Add("abc", 3);
    EXPECT_EQ(Hex(sha.Finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex(md5.Finish()), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(sha.Finish().empty());  // finished once
}

TEST(PlatformTextTest, CaseFoldsAsciiOnlyAndWideTextRoundTrips) {
    EXPECT_EQ(KivStrICmp("ReadMe.TXT", "readme.txt"), 0);
    EXPECT_LT(KivStrICmp("abc", "abd"), 0);
    EXPECT_GT(KivStrICmp("abc", "ab"), 0);
    EXPECT_NE(KivStrICmp("\xC3\x89", "\xC3\xA9"), 0);  // E and e with acute: no locale folding
    EXPECT_EQ(KivStrNICmp("{ABC}x", "{abc}y", 5), 0);
    const std::string s = "caf\xC3\xA9 \xF0\x9F\x93\xB7";  // a character beyond the BMP
    EXPECT_EQ(KivWideToUtf8(KivUtf8ToWide(s)), s);
    EXPECT_EQ(KivUtf8ToWide(s).size(), sizeof(wchar_t) == 2 ? 7u : 6u);
}

}  // namespace
