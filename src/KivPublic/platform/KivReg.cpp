#include "KivReg.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "KivLog.h"
#include "platform/KivFileUtil.h"

namespace {

// Value names become file names; "/" and a leading "." are escaped so every name is one file.
std::string ValueFile(const char* pszValue) {
    std::string out = "v_";
    for (const char* p = pszValue; *p; ++p) {
        if (*p == '/' || *p == '%') {
            char buf[4];
            std::snprintf(buf, sizeof(buf), "%%%02X", static_cast<unsigned char>(*p));
            out += buf;
        } else {
            out += *p;
        }
    }
    return out;
}

bool IsDir(const std::string& p) {
    struct stat st{};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveTree(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = ::opendir(path.c_str())) {
            std::vector<std::string> names;
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            ::closedir(d);
            for (const auto& n : names) RemoveTree(path + "/" + n);
        }
        return ::rmdir(path.c_str()) == 0;
    }
    return ::unlink(path.c_str()) == 0;
}

}  // namespace

std::string CKivReg::StoreDir() {
    std::string dir = StoreOverride();
    if (!dir.empty()) return dir;
    std::string base = KivUserDir("XDG_CONFIG_HOME", ".config");
    return base.empty() ? base : base + "/registry";
}

std::string CKivReg::KeyDir(const char* pszSubKey) const {
    std::string dir = StoreDir();
    if (dir.empty()) return {};
    dir += m_root == KIV_REG_LOCAL_MACHINE ? "/HKLM" : "/HKCU";
    std::vector<std::string> pieces;
    if (!SplitKeyPath(m_first, &pieces) || !SplitKeyPath(m_second, &pieces)) return {};
    if (pszSubKey && !SplitKeyPath(pszSubKey, &pieces)) return {};
    for (const std::string& p : pieces) dir += "/" + p;
    return dir;
}

KivResult CKivReg::WriteData2Reg(const char* pszSubKey, const char* pszValue, const void* pData, uint32_t nSize) {
    if (!pData || nSize == 0 || !pszValue) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string dir = KeyDir(pszSubKey);
    if (dir.empty() || !KivMakeDirs(dir)) return KIV_RETERR(KIV_E_REGISTRY);
    // Written beside and renamed over, so a reader never sees half a value.
    std::string file = dir + "/" + ValueFile(pszValue);
    std::string tmp = file + ".tmp" + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return KIV_RETERR(KIV_E_REGISTRY);
    bool ok = KivWriteAll(fd, pData, nSize) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), file.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return KIV_RETERR(KIV_E_REGISTRY);
    }
    return KIV_OK;
}

KivResult CKivReg::ReadDataByReg(const char* pszSubKey, const char* pszValue, void* pBuf, uint32_t* pnSize) {
    if (!pBuf || !pnSize || *pnSize == 0 || !pszValue) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string dir = KeyDir(pszSubKey);
    if (dir.empty() || !IsDir(dir)) return KIV_RETERR(KIV_E_REGISTRY);
    int fd = ::open((dir + "/" + ValueFile(pszValue)).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return KIV_RETERR(KIV_E_REGISTRY);
    struct stat st{};
    if (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) > *pnSize) {
        ::close(fd);
        return KIV_RETERR(KIV_E_REGISTRY);
    }
    size_t want = static_cast<size_t>(st.st_size), got = 0;
    auto* p = static_cast<char*>(pBuf);
    while (got < want) {
        ssize_t r = ::read(fd, p + got, want - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    if (got != want) return KIV_RETERR(KIV_E_REGISTRY);
    *pnSize = static_cast<uint32_t>(got);
    return KIV_OK;
}

KivResult CKivReg::DeleteRegKey(const char* pszSubKey, const char* pszValue) {
    if (!pszValue) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string dir = KeyDir(pszSubKey);
    if (dir.empty() || !IsDir(dir)) return KIV_RETERR(KIV_E_REGISTRY);
    if (::unlink((dir + "/" + ValueFile(pszValue)).c_str()) != 0) return KIV_RETERR(KIV_E_REGISTRY);
    return KIV_OK;
}

KivResult CKivReg::DeleteRegDir(const char* pszSubKey) {
    std::string parent = KeyDir(nullptr);
    std::string dir = KeyDir(pszSubKey);
    if (parent.empty() || !IsDir(parent) || !pszSubKey || dir == parent) return KIV_RETERR(KIV_E_REGISTRY);
    if (!RemoveTree(dir)) return KIV_RETERR(KIV_E_REGISTRY);
    return KIV_OK;
}
