// The log tests' fixture: the log writes into a fresh folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "KivLog.h"
#include "KivLogFile.h"
#include "KivPortable.h"

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = KivMakeTempDir("kivlogtest.");
        ASSERT_FALSE(m_dir.empty());
        KivLogSetDir(m_dir);
    }
    void TearDown() override {
        KivLogSetDir("");
        std::filesystem::remove_all(m_dir);
    }
    std::string Read(const char* name) const {
        std::ifstream f(m_dir + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    void Fill(const char* name, size_t n, char c) const {
        std::ofstream f(m_dir + "/" + name, std::ios::binary);
        f << std::string(n, c);
    }
    // The narrow text of a UTF-16LE file without its mark (ASCII content only).
    static std::string Narrow(const std::string& w) {
        std::string out;
        for (size_t i = 2; i + 1 < w.size(); i += 2) out += w[i];
        return out;
    }
    std::string m_dir;
};
