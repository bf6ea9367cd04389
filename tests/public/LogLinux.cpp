// The shared log written by two processes and threads at once: whole lines only.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <thread>

#include "LogTestFixture.h"

namespace {

using LogLinux = LogTest;

// Every line of the file is one whole line written by someone, nothing interleaved.
void ExpectWholeLines(const std::string& s, size_t nExpected) {
    std::regex line(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d \(T-P:\d+-\d+\) (writer \d+ line \d+ x{200}))");
    size_t n = 0, pos = 0;
    while (pos < s.size()) {
        size_t e = s.find("\r\n", pos);
        ASSERT_NE(e, std::string::npos) << "torn tail";
        std::string l = s.substr(pos, e - pos);
        ASSERT_TRUE(std::regex_match(l, line)) << "torn line: " << l;
        ++n;
        pos = e + 2;
    }
    EXPECT_EQ(n, nExpected);
}

TEST_F(LogLinux, TwoProcessesAndThreadsWriteWholeLines) {
    constexpr int kLines = 300;
    std::string pad(200, 'x');
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < kLines; ++i) KivLogA(0, "writer 1 line %d %s", i, pad.c_str());
        ::_exit(0);
    }
    std::thread t([&] {
        for (int i = 0; i < kLines; ++i) KivLogA(0, "writer 2 line %d %s", i, pad.c_str());
    });
    for (int i = 0; i < kLines; ++i) KivLogA(0, "writer 3 line %d %s", i, pad.c_str());
    t.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ExpectWholeLines(Read(KIV_LOG_FILE_NARROW), 3 * kLines);
}

}  // namespace
