// Test storages: sectors held in memory, or read from a file with pread. Both count reads so
// tests can tell whether a device access happened.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "IKivDevStor.h"

class KivMemDevStor : public IKivDevStor {
public:
    KivMemDevStor(std::vector<uint8_t> data, uint32_t nSectorSize = 512)
        : m_data(std::move(data)), m_nSectorSize(nSectorSize) {}
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        ++m_nReads;
        m_nSectorsRead += nCount;
        uint64_t nSecs = GetSectorCount();
        if (nFirst > nSecs || nCount > nSecs - nFirst || m_bFail) return 0;
        std::memcpy(pBuf, m_data.data() + nFirst * m_nSectorSize, nCount * m_nSectorSize);
        return 1;
    }
    uint64_t GetSectorCount() override { return m_data.size() / m_nSectorSize; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    std::vector<uint8_t> m_data;
    uint32_t m_nSectorSize;
    uint64_t m_nReads = 0;
    uint64_t m_nSectorsRead = 0;
    bool m_bFail = false;
};

class KivFileDevStor : public IKivDevStor {
public:
    explicit KivFileDevStor(const std::string& path, uint32_t nSectorSize = 512) : m_nSectorSize(nSectorSize) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd >= 0) m_nSize = static_cast<uint64_t>(::lseek(m_fd, 0, SEEK_END));
    }
    ~KivFileDevStor() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override {
        uint64_t nSecs = GetSectorCount();
        if (m_fd < 0 || nFirst > nSecs || nCount > nSecs - nFirst) return 0;
        size_t want = nCount * m_nSectorSize;
        size_t got = 0;
        auto* p = static_cast<uint8_t*>(pBuf);
        while (got < want) {
            ssize_t r = ::pread(m_fd, p + got, want - got, static_cast<off_t>(nFirst * m_nSectorSize + got));
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        if (got < want) std::memset(p + got, 0, want - got);  // a partial last sector reads as zeros
        return 1;
    }
    uint64_t GetSectorCount() override { return (m_nSize + m_nSectorSize - 1) / m_nSectorSize; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return m_fd >= 0; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

private:
    int m_fd = -1;
    uint64_t m_nSize = 0;
    uint32_t m_nSectorSize;
};
