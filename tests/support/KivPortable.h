// What the tests need from the OS that POSIX and Windows spell differently: a fresh temporary
// folder, a file's modification time to the tick its file system keeps, the process id.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

inline int KivTestPid() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

// A new empty folder under the system's temporary folder, named strPrefix plus a unique tail;
// empty when none could be made.
inline std::string KivMakeTempDir(const std::string& strPrefix) {
    static std::atomic<unsigned> s_n{0};
    std::random_device rd;
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    for (int i = 0; i < 100; ++i) {
        std::filesystem::path p = base / (strPrefix + std::to_string(KivTestPid()) + "-" + std::to_string(s_n++) + "-" +
                                          std::to_string(rd() % 1000000));
        if (std::filesystem::create_directory(p, ec)) return p.string();
    }
    return {};
}

// The modification (or with bAccess the access) time of path in Unix seconds and nanoseconds.
inline bool KivFileTime(const std::string& path, bool bAccess, int64_t* pSec, uint32_t* pNsec) {
#ifdef _WIN32
    int n = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 0) return false;
    std::wstring w(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, w.data(), n);
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!::GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &d)) return false;
    const FILETIME& f = bAccess ? d.ftLastAccessTime : d.ftLastWriteTime;
    uint64_t ft = (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    int64_t t = int64_t(ft) - 116444736000000000LL;  // 100 ns ticks since 1601 to since 1970
    int64_t s = t >= 0 ? t / 10000000 : -((-t + 9999999) / 10000000);
    *pSec = s;
    *pNsec = uint32_t((t - s * 10000000) * 100);
    return true;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const struct timespec& t = bAccess ? st.st_atim : st.st_mtim;
    *pSec = t.tv_sec;
    *pNsec = uint32_t(t.tv_nsec);
    return true;
#endif
}

inline bool KivFileMTime(const std::string& path, int64_t* pSec, uint32_t* pNsec) {
    return KivFileTime(path, false, pSec, pNsec);
}

// The bytes the file system holds for path's data (less than its size where it has holes).
inline bool KivAllocatedBytes(const std::string& path, uint64_t* pBytes) {
#ifdef _WIN32
    int n = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 0) return false;
    std::wstring w(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, w.data(), n);
    DWORD nHigh = 0;
    DWORD nLow = ::GetCompressedFileSizeW(w.c_str(), &nHigh);
    if (nLow == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
    *pBytes = (uint64_t(nHigh) << 32) | nLow;
    return true;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    *pBytes = uint64_t(st.st_blocks) * 512;
    return true;
#endif
}

// The same as seconds with a fraction, or -1 when the file cannot be read.
inline double KivFileMTimeSec(const std::string& path) {
    int64_t s = 0;
    uint32_t ns = 0;
    return KivFileMTime(path, &s, &ns) ? double(s) + ns / 1e9 : -1.0;
}
