// Utilities, text conversions, the file-backed registry, named locks and the crash handler.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "KivCrashHandler.h"
#include "KivFunction.h"
#include "KivLogFile.h"
#include "KivReg.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

TEST(ExtListTest, SplitsSkipsEmptyPiecesAndSorts) {
    std::vector<std::wstring> w;
    EXPECT_EQ(StrExts2VecExtWsNames(L".jpg..png.", &w), KIV_OK);
    EXPECT_EQ(w, (std::vector<std::wstring>{L"jpg", L"png"}));
    std::vector<std::string> n{"stale"};
    EXPECT_EQ(StrExts2VecExtNames(L".xls .doc.docx", &n), KIV_OK);
    EXPECT_EQ(n, (std::vector<std::string>{"doc", "docx", "xls"}));
    EXPECT_EQ(StrExts2VecExtNames(".mp3 audio.. .wav", &n), KIV_OK);  // each piece ends at a blank
    EXPECT_EQ(n, (std::vector<std::string>{"mp3", "wav"}));
    EXPECT_EQ(KivErrNo(StrExts2VecExtNames("", &n)), KIV_E_INVALIDARG);
    EXPECT_TRUE(n.empty());
    EXPECT_EQ(KivErrNo(StrExts2VecExtWsNames(nullptr, &w)), KIV_E_INVALIDARG);
}

TEST(SizeTextTest, Examples) {
    EXPECT_EQ(KivSizeText(0), "0 B");
    EXPECT_EQ(KivSizeText(512), "512 B");
    EXPECT_EQ(KivSizeText(1023), "1023 B");
    EXPECT_EQ(KivSizeText(1536), "1.50 KB");
    EXPECT_EQ(KivSizeText(5242880), "5.00 MB");
    EXPECT_EQ(KivSizeText(3ull << 30), "3.00 GB");
    EXPECT_EQ(KivSizeText(1500ull << 30), "1.46 TB");
    EXPECT_EQ(KivSizeText(5ull << 50), "5.00 PB");
    EXPECT_EQ(KivTimeText(3725), " 1:02:05");
    EXPECT_EQ(KivTimeText(59), " 0:00:59");
}

TEST(PathTest, BesideTheProgram) {
    std::string exe = KivGetExeDir();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe, std::string(KIV_BIN_DIR));
    std::string p;
    EXPECT_TRUE(KivPathBesideExe("C:\\dir\\KivFilter.ini", &p));
    EXPECT_EQ(p, exe + "/KivFilter.ini");
    EXPECT_FALSE(KivPathBesideExe("dir/", &p));
    EXPECT_FALSE(KivPathBesideExe("", &p));
    EXPECT_EQ(KivFilePathFromExeDir("res/res.ini", false), exe + "/res/res.ini");
    EXPECT_EQ(KivFilePathFromExeDir("res/res.ini", true), exe + "/res.ini");
}

TEST(TextTest, Utf8Utf16RoundTripAndInvalidInput) {
    std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7";  // a, e-acute, euro, a non-BMP character
    std::u16string w = KivUtf8ToUtf16(s);
    EXPECT_EQ(w, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDCF7}));
    EXPECT_EQ(KivUtf16ToUtf8(w), s);
    EXPECT_EQ(KivWideToUtf8(KivUtf8ToWide(s)), s);
    EXPECT_EQ(KivUtf8ToUtf16("\xFF" "b\xC3"), (std::u16string{0xFFFD, u'b', 0xFFFD}));
    EXPECT_EQ(KivUtf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong form
    EXPECT_EQ(KivUtf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");    // lone surrogate
    std::string n;
    EXPECT_EQ(KivWideToNarrow(L"x", &n), KIV_OK);
    EXPECT_EQ(KivWideToNarrow(L"", &n), KIV_FAIL);
    EXPECT_EQ(KivWideToNarrow(std::wstring(2048, L'a').c_str(), &n), KIV_FAIL);
}

TEST(TimeTest, FileTimeAndUnixTime) {
    EXPECT_EQ(KivUnixToFileTime(0), KIV_FILETIME_UNIX_EPOCH);
    int64_t sec;
    uint32_t ns;
    KivFileTimeToUnix(KivUnixToFileTime(1700000000, 123456700), &sec, &ns);
    EXPECT_EQ(sec, 1700000000);
    EXPECT_EQ(ns, 123456700u);
    KivFileTimeToUnix(0, &sec, &ns);  // 1601 lies before 1970
    EXPECT_EQ(sec, -11644473600);
    EXPECT_EQ(ns, 0u);
}

class RegTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kivreg." + std::to_string(::getpid()));
        CKivReg::SetStoreDir(m_dir);
    }
    void TearDown() override {
        CKivReg::SetStoreDir("");
        fs::remove_all(m_dir);
    }
    std::string m_dir;
};

TEST_F(RegTest, WriteReadDeleteValuesAndKeys) {
    CKivReg reg;
    reg.SetRegPath(KIV_REG_CURRENT_USER, "Software\\Undelia", "Stats");
    const unsigned char data[] = {0, 1, 2, 0xFF};
    EXPECT_EQ(reg.WriteData2Reg("Base", "ProductBaseInfo", data, sizeof(data)), KIV_OK);
    unsigned char buf[16] = {};
    uint32_t n = sizeof(buf);
    EXPECT_EQ(reg.ReadDataByReg("Base", "productbaseinfo", buf, &n) & 0xFFF, KIV_E_REGISTRY);  // names are exact
    n = sizeof(buf);
    EXPECT_EQ(reg.ReadDataByReg("Base", "ProductBaseInfo", buf, &n), KIV_OK);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::memcmp(buf, data, 4), 0);
    n = 2;
    EXPECT_EQ(KivErrNo(reg.ReadDataByReg("Base", "ProductBaseInfo", buf, &n)), KIV_E_REGISTRY);  // too small
    EXPECT_EQ(KivErrNo(reg.WriteData2Reg("Base", "V", nullptr, 4)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(reg.WriteData2Reg("Base", "V", data, 0)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(reg.WriteData2Reg("..\\..\\escape", "V", data, 1)), KIV_E_REGISTRY);
    EXPECT_EQ(reg.WriteData2Reg("Base", "a/b", data, 1), KIV_OK);  // any value name is one file

    EXPECT_EQ(reg.DeleteRegKey("Base", "ProductBaseInfo"), KIV_OK);
    n = sizeof(buf);
    EXPECT_EQ(KivErrNo(reg.ReadDataByReg("Base", "ProductBaseInfo", buf, &n)), KIV_E_REGISTRY);
    EXPECT_EQ(reg.DeleteRegDir("Base"), KIV_OK);
    EXPECT_EQ(KivErrNo(reg.DeleteRegKey("Base", "a/b")), KIV_E_REGISTRY);
    reg.Reset();
    n = sizeof(buf);
    EXPECT_EQ(KivErrNo(reg.ReadDataByReg("Base", "x", buf, &n)), KIV_E_REGISTRY);
}

TEST(NamedLockTest, ExcludesOtherProcessesAndIsFreedWhenTheHolderDies) {
    std::string name = "Global\\kivtest_" + std::to_string(::getpid());
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CKivNamedLock lock(name);
        char c = lock.Lock() ? 'L' : 'E';
        if (::write(toParent[1], &c, 1) != 1) ::_exit(2);
        if (::read(toChild[0], &c, 1) != 1) ::_exit(3);
        ::_exit(0);  // dies holding the lock
    }
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    ASSERT_EQ(c, 'L');
    CKivNamedLock lock(name);
    EXPECT_FALSE(lock.TryLock());
    c = 'x';
    ASSERT_EQ(::write(toChild[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
    fs::remove(lock.Path());
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
}

TEST(CrashTest, FatalSignalWritesTheDumpAndLogsTwoLines) {
    std::string logDir = fs::temp_directory_path() / ("kivcrash." + std::to_string(::getpid()));
    fs::create_directories(logDir);
    std::string dump = KivDumpDir() + "/" + KIV_DUMP_FILE;
    fs::remove(dump);
    auto t0 = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        KivInstallCrashHandler();
        KivLogSetDir(logDir);
        // The crash comes while this thread holds the log's lock: the handler must not wait for it.
        CKivNamedLock held(KIV_LOG_LOCK_NAME);
        held.Lock();
        ::raise(SIGSEGV);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 5.0);
    ASSERT_TRUE(WIFSIGNALED(status));  // the process still ends by its signal
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    std::ifstream d(dump);
    std::string text((std::istreambuf_iterator<char>(d)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("signal 11"), std::string::npos);
    EXPECT_NE(text.find("backtrace:"), std::string::npos);
    std::ifstream l(logDir + "/KivStr.DAT");
    std::string log((std::istreambuf_iterator<char>(l)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("Kiv Dmp crush\r\n"), std::string::npos) << log;
    // The handler formats the writer's prefix itself, in local time.
    time_t now = ::time(nullptr);
    char day[16];
    std::strftime(day, sizeof day, "%Y/%m/%d ", std::localtime(&now));
    EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)" + std::string(day) +
                                                  "[0-2][0-9]:[0-5][0-9]:[0-5][0-9] \\(T-P:[0-9]+-[0-9]+\\) Kiv Dmp crush\r\n")))
        << log;
    EXPECT_NE(log.find("Kiv Dmp crush wsDumpName = " + dump), std::string::npos) << log;
    fs::remove(dump);
    fs::remove_all(logDir);
}

}  // namespace
