// Helpers of the recovery tests: an LZNT1 compressor, a recording callback, temp folders.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "IKivScanDev.h"

// Compresses up to 65536 bytes into one unit of LZNT1 chunks, followed by a zero end header.
std::vector<uint8_t> KivTestLznt1Compress(const std::vector<uint8_t>& plain);

// A fresh folder under the system temp dir, removed by the destructor.
class KivTestDir {
public:
    KivTestDir();
    ~KivTestDir();
    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

std::vector<uint8_t> KivTestReadFile(const std::filesystem::path& p);

class KivTestCallback : public IKivFileRecoverCallback {
public:
    static std::string Leaf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
    int OnFileDone(uint32_t) override {
        ++nDone;
        return nCancelAfterFiles && nDone >= nCancelAfterFiles ? -1 : 0;
    }
    int OnBytesWritten(uint64_t n) override {
        nBytes += n;
        return nCancelAfterBytes && nBytes >= nCancelAfterBytes ? -1 : 0;
    }
    int OnTailBytes(uint64_t n) override {
        nTail += n;
        return 0;
    }
    int OnFileStart(const char* pszName) override {
        started.push_back(pszName);
        return 0;
    }
    int IsCancelled() override { return 0; }
    // Output paths, and "<file name>: <reason>" of each report.
    void OnFileDamagedEx(const KivRecoverIssue& i) override {
        damaged.push_back(i.pszPath);
        damageReasons.push_back(Leaf(i.pszPath) + ": " + i.pszReason);
        auto& v = ranges[i.pszPath];
        for (size_t k = 0; k < i.nRanges; ++k) v.emplace_back(i.pRanges[k].nFirst, i.pRanges[k].nEnd);
    }
    // Output path and the entry's own name of each file written.
    void OnFileWrittenEx(const KivRecoverIssue& i) override { written.emplace_back(i.pszPath, i.pszName); }
    void OnFileFailedEx(const KivRecoverIssue& i) override {
        failed.push_back(i.pszPath);
        failReasons.push_back(Leaf(i.pszPath) + ": " + i.pszReason);
    }

    std::atomic<uint32_t> nDone{0};
    uint32_t nCancelAfterFiles = 0;
    uint64_t nCancelAfterBytes = 0;
    std::vector<std::string> damageReasons, failReasons;
    uint64_t nBytes = 0;
    uint64_t nTail = 0;
    std::vector<std::string> started, damaged, failed;
    std::vector<std::pair<std::string, std::string>> written;
    std::map<std::string, std::vector<std::pair<uint64_t, uint64_t>>> ranges;
};
