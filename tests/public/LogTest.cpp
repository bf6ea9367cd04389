// The shared log: size cap, byte-order mark, line shape, whole lines under concurrent writers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "KivLog.h"
#include "KivLogFile.h"
#include "LogTestFixture.h"

namespace fs = std::filesystem;

namespace {

TEST_F(LogTest, LineHasPrefixTextAndCrLf) {
    KivLogA(0, "hello %d", 42);
    std::string s = Read(KIV_LOG_FILE_NARROW);
    EXPECT_TRUE(std::regex_match(s, std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d \(T-P:\d+-\d+\) hello 42\r\n)"))) << s;

    KivLogW(0, L"wide %ls %d", L"text", 7);
    std::string w = Read(KIV_LOG_FILE_WIDE);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w.substr(0, 2), "\xFF\xFE");
    EXPECT_TRUE(std::regex_match(Narrow(w), std::regex(R"(.* \(T-P:\d+-\d+\) wide text 7\r\n)"))) << Narrow(w);
}

TEST_F(LogTest, NonAsciiTextIsUtf16InTheWideFile) {
    KivLogTextW("caf\xC3\xA9 \xF0\x9F\x93\xB7");  // e-acute and a character outside the BMP
    std::string w = Read(KIV_LOG_FILE_WIDE);
    const std::string tail("c\0a\0f\0\xE9\0 \0\x3D\xD8\xF7\xDC\r\0\n\0", 18);
    ASSERT_GE(w.size(), tail.size());
    EXPECT_EQ(w.substr(w.size() - tail.size()), tail);
}

TEST_F(LogTest, CapEmptiesOnlyFilesAboveFiveMiB) {
    // Exactly 5 MiB is kept and appended to; one byte more is emptied first.
    Fill(KIV_LOG_FILE_NARROW, 5242880, 'x');
    KivLogClose();
    KivLogA(0, "after");
    std::string s = Read(KIV_LOG_FILE_NARROW);
    EXPECT_GT(s.size(), 5242880u);
    EXPECT_EQ(s[0], 'x');

    Fill(KIV_LOG_FILE_NARROW, 5242881, 'x');
    KivLogA(0, "fresh");
    s = Read(KIV_LOG_FILE_NARROW);
    EXPECT_LT(s.size(), 200u);
    EXPECT_NE(s.find("fresh\r\n"), std::string::npos);
    EXPECT_EQ(s.find('x'), std::string::npos);
}

TEST_F(LogTest, WideFileGetsItsMarkAgainAfterTruncation) {
    Fill(KIV_LOG_FILE_WIDE, 5242880, 'y');
    KivLogW(0, L"kept");
    std::string w = Read(KIV_LOG_FILE_WIDE);
    EXPECT_EQ(w[0], 'y');  // not emptied, so no mark in the middle of the file
    EXPECT_EQ(w.find("\xFF\xFE"), std::string::npos);

    Fill(KIV_LOG_FILE_WIDE, 5242881, 'y');
    KivLogW(0, L"restart");
    w = Read(KIV_LOG_FILE_WIDE);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(Narrow(w).find("restart\r\n"), std::string::npos);
    EXPECT_EQ(w.find('y'), std::string::npos);
}

TEST_F(LogTest, TooLongTextIsDropped) {
    std::string big(3000, 'a');
    KivLogA(0, "%s", big.c_str());
    KivLogA(0, "short");
    std::string s = Read(KIV_LOG_FILE_NARROW);
    EXPECT_EQ(s.find("aaaa"), std::string::npos);
    EXPECT_NE(s.find("short"), std::string::npos);
}

TEST_F(LogTest, LogErrorWritesOwnerTagFileAndLineAndReturnsTheCode) {
    KivResult code = KivMakeCode(123, 0xFF, 0x02A);
    EXPECT_EQ(LogError(code, "/some/dir/Source.cpp", "Operation", 77), code);
    EXPECT_EQ(LogError(code, nullptr, nullptr, 5), code);
    std::string w = Narrow(Read(KIV_LOG_FILE_WIDE));
    char expect[128];
    std::snprintf(expect, sizeof(expect), "[base:KivTestDll] : return error 0x%8X. \"Source.cpp\", Line 77.\n\r\n", code);
    EXPECT_NE(w.find(expect), std::string::npos) << w;
    EXPECT_NE(w.find("\"\", Line 5."), std::string::npos);
    EXPECT_EQ(w.find("Operation"), std::string::npos);  // the label is accepted, not printed
}

}  // namespace
