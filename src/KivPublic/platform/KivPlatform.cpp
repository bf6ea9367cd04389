// Linux back end of the operating-system layer.
#include "platform/KivPlatform.h"

#include "platform/KivFileUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::atomic<KivPumpHookFn> g_pfnPump{nullptr};

// Appends the UTF-8 form of one code point (invalid ones become U+FFFD).
void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes the code point at s[i], advancing i; malformed sequences give U+FFFD and consume one byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int n = 0;
    char32_t c = 0, min = 0;
    if ((b & 0xE0) == 0xC0) {
        n = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 3, c = b & 0x07, min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (s.size() - i <= static_cast<size_t>(n)) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= n; ++k) {
        auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<size_t>(n) + 1;
    return c;
}

}  // namespace

std::string KivDirOf(const std::string& path) {
    auto pos = path.rfind('/');
    if (pos == std::string::npos) return {};
    return pos == 0 ? std::string("/") : path.substr(0, pos);
}

bool KivMakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    struct stat st{};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    KivMakeDirs(KivDirOf(dir));
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool KivWriteAll(int fd, const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

std::string KivUserDir(const char* pszXdgVar, const char* pszHomeSub) {
    std::string base;
    if (const char* p = std::getenv(pszXdgVar); p && *p == '/') {
        base = p;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = std::string(h) + "/" + pszHomeSub;
    } else {
        return {};
    }
    std::string dir = base + "/undelia";
    return KivMakeDirs(dir) ? dir : std::string();
}

std::string KivGetExeDir() {
    // Never destroyed: objects torn down at exit (a program's back-stage stopping the engine) still
    // log, and so still ask for this folder.
    static const std::string* s_pDir = new std::string([] {
        char buf[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
        if (n <= 0) return std::string();
        return KivDirOf(std::string(buf, static_cast<size_t>(n)));
    }());
    return *s_pDir;
}

bool KivIsInstalled() {
    static const bool s_bInstalled = [] {
        std::string exe = KivGetExeDir();
        struct stat st {};
        return !exe.empty() && ::stat((exe + "/KivInstalled.ini").c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }();
    return s_bInstalled;
}

std::string KivGetLogDir() {
    std::string exe = KivGetExeDir();
    if (!exe.empty() && !KivIsInstalled() && ::access(exe.c_str(), W_OK) == 0) return exe;
    return KivUserDir("XDG_STATE_HOME", ".local/state");
}

void KivSetPumpHook(KivPumpHookFn pfn) { g_pfnPump.store(pfn); }

KivPumpHookFn KivGetPumpHook() { return g_pfnPump.load(); }

void KivPumpMessages() {
    if (KivPumpHookFn pfn = g_pfnPump.load()) pfn();
}

std::u16string KivUtf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t c = NextUtf8(s, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string KivUtf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);  // a lone surrogate becomes U+FFFD
    }
    return out;
}

std::wstring KivUtf8ToWide(std::string_view s) {
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out += static_cast<wchar_t>(NextUtf8(s, i));
    return out;
}

std::string KivWideToUtf8(std::wstring_view s) {
    std::string out;
    out.reserve(s.size());
    for (wchar_t w : s) AppendUtf8(out, static_cast<char32_t>(w));
    return out;
}
