// Named locks across processes and the crash handler, tried in forked children.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "KivCrashHandler.h"
#include "KivLogFile.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

TEST(NamedLockLinux, ExcludesOtherProcessesAndIsFreedWhenTheHolderDies) {
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

TEST(CrashLinux, FatalSignalWritesTheDumpAndLogsTwoLines) {
    std::string logDir = (fs::temp_directory_path() / ("kivcrash." + std::to_string(::getpid()))).string();
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
