// A fixture whose every case gets a folder of its own (m_dir) in the temporary folder, removed
// with all it holds after the case.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

class KivTempDirTest : public ::testing::Test {
protected:
    // The folders are named <prefix><number>, so that one left behind tells its test.
    explicit KivTempDirTest(const char* pszPrefix) : m_strPrefix(pszPrefix) {}

    void SetUp() override {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        ASSERT_FALSE(ec) << ec.message();
        std::random_device rnd;
        for (int i = 0; i < 100 && m_dir.empty(); ++i) {
            std::filesystem::path p = base / (m_strPrefix + std::to_string(rnd()));
            if (std::filesystem::create_directory(p, ec)) m_dir = p.string();
        }
        ASSERT_FALSE(m_dir.empty()) << "no folder in " << base.string();
    }
    void TearDown() override {
        std::error_code ec;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
    }

    std::string m_dir;

private:
    std::string m_strPrefix;
};
