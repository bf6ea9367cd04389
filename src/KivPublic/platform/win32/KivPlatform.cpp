// Windows back end of the operating-system layer.
#include "platform/KivPlatform.h"

#include <vector>

#include "KivWin32.h"
#include "platform/KivFileUtil.h"

std::string KivGetExeDir() {
    // Never destroyed, as on Linux: objects torn down at exit still log.
    static const std::string* s_pDir = new std::string([] {
        std::vector<wchar_t> buf(MAX_PATH);
        for (;;) {
            DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) return std::string();
            if (n < buf.size()) return KivDirOf(KivFromWinPath(std::wstring(buf.data(), n)));
            if (buf.size() >= 32768) return std::string();
            buf.resize(buf.size() * 2);
        }
    }());
    return *s_pDir;
}

uint32_t KivThreadId() { return GetCurrentThreadId(); }

uint32_t KivProcessId() { return GetCurrentProcessId(); }

bool KivLocalTime(int64_t nUnix, struct tm* pOut) {
    // The C runtime's buffer is one per thread.
    __time64_t t = nUnix;
    struct tm* p = _localtime64(&t);
    if (!p) return false;
    *pOut = *p;
    return true;
}

bool KivUtcTime(int64_t nUnix, struct tm* pOut) {
    __time64_t t = nUnix;
    struct tm* p = _gmtime64(&t);
    if (!p) return false;
    *pOut = *p;
    return true;
}

int64_t KivTimeFromUtc(struct tm* pTm) { return static_cast<int64_t>(_mkgmtime64(pTm)); }

int32_t KivUtcOffset(int64_t nUnix) {
    struct tm t{};
    if (!KivLocalTime(nUnix, &t)) return 0;
    __time64_t asUtc = _mkgmtime64(&t);  // the local fields read as UTC
    return asUtc == -1 ? 0 : static_cast<int32_t>(asUtc - nUnix);
}

std::string KivDebugConfigPath() { return "C:/config.ini"; }

std::string KivUserLocale() {
    // "de-DE" becomes "de_DE", the form the skin's language files are named by.
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) <= 0) return {};
    std::string s = KivWideToUtf8(name);
    for (char& c : s)
        if (c == '-') c = '_';
    return s;
}
