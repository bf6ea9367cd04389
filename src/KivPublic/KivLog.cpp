// The log writer: every line of every component of every process goes, whole, to the two files
// of the log folder, serialised by a mutex (threads), a named lock (processes of the system) and
// a byte-range lock on the file (any other writer).
#include "KivLog.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "KivCrashHandler.h"
#include "KivLogFile.h"
#include "platform/KivFile.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace {

constexpr int kLineChars = 2048;  // the whole line, prefix and "\r\n" included

struct LogState {
    std::mutex mtx;
    std::string dirOverride;
    CKivFile* pWide = new CKivFile;
    CKivFile* pNarrow = new CKivFile;
    uint32_t pid = 0;  // the process that opened the pair; a forked child opens its own
    bool exitHookSet = false;
    CKivNamedLock lock{KIV_LOG_LOCK_NAME};
};

// Never destroyed: components log from their own static destructors.
LogState& State() {
    static LogState* s = new LogState;
    return *s;
}

// A forked child must not share the parent's offsets: it drops the pair without closing it. The
// dropped pair stays reachable, so a leak checker does not take it for lost memory.
void ForgetPair(LogState& s) {
    static std::vector<CKivFile*>* pDropped = new std::vector<CKivFile*>;
    pDropped->push_back(s.pWide);
    pDropped->push_back(s.pNarrow);
    s.pWide = new CKivFile;
    s.pNarrow = new CKivFile;
}

void CloseLocked(LogState& s) {
    if (s.pid == 0) return;  // never opened
    if (s.pid != KivProcessId()) {
        ForgetPair(s);
        return;
    }
    s.pWide->Close();
    s.pNarrow->Close();
}

void CloseAtExit() {
    LogState& s = State();
    std::lock_guard<std::mutex> g(s.mtx);
    CloseLocked(s);
}

bool OpenLocked(LogState& s) {
    if (s.pid != 0 && s.pid != KivProcessId()) ForgetPair(s);
    if (s.pWide->IsOpen()) return true;
    std::string dir = s.dirOverride.empty() ? KivGetLogDir() : s.dirOverride;
    if (dir.empty()) return false;
    s.pid = KivProcessId();
    s.pWide->Open(dir + "/" + KIV_LOG_FILE_WIDE, CKivFile::Mode::kReadWriteCreate);
    s.pNarrow->Open(dir + "/" + KIV_LOG_FILE_NARROW, CKivFile::Mode::kReadWriteCreate);
    if (!s.pWide->IsOpen()) {
        CloseLocked(s);
        return false;
    }
    if (!s.exitHookSet) {
        s.exitHookSet = true;
        std::atexit(CloseAtExit);
    }
    return true;
}

// Appends one finished line to the wide or the narrow file. Failures drop the line.
void AppendLine(const std::string& bytes, bool bWide) {
    LogState& s = State();
    std::lock_guard<std::mutex> g(s.mtx);
    if (!s.lock.Lock()) return;
    if (OpenLocked(s)) {
        CKivFile& f = bWide ? *s.pWide : *s.pNarrow;
        if (f.IsOpen() && f.LockWhole()) {
            uint64_t nSize = 0;
            if (f.Size(&nSize)) {
                if (nSize > static_cast<uint64_t>(KIV_LOG_CAP_BYTES) && f.Truncate(0)) nSize = 0;
                f.SeekEnd();
                if (bWide && nSize == 0) f.WriteAll("\xFF\xFE", 2);
                f.WriteAll(bytes.data(), bytes.size());
            }
            f.UnlockWhole();
        }
    }
    s.lock.Unlock();
}

// "%.4d/%.2d/%.2d %.2d:%.2d:%.2d (T-P:%d-%d) " of the local time, thread and process.
std::string Prefix() {
    struct tm t{};
    KivLocalTime(static_cast<int64_t>(std::time(nullptr)), &t);
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%.4d/%.2d/%.2d %.2d:%.2d:%.2d (T-P:%d-%d) ", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(KivThreadId()),
                  static_cast<int>(KivProcessId()));
    return buf;
}

std::string ToUtf16LEBytes(const std::string& utf8) {
    std::u16string w = KivUtf8ToUtf16(utf8);
    std::string out;
    out.reserve(w.size() * 2);
    for (char16_t c : w) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// Room the caller's text gets in the 2048-character line.
int TextRoom(const std::string& prefix) { return kLineChars - 3 - static_cast<int>(prefix.size()); }

}  // namespace

namespace {
char g_narrowPath[4096];

void RefreshNarrowPath(const LogState& s) {
    std::string dir = s.dirOverride.empty() ? KivGetLogDir() : s.dirOverride;
    std::snprintf(g_narrowPath, sizeof g_narrowPath, "%s", dir.empty() ? "" : (dir + "/" + KIV_LOG_FILE_NARROW).c_str());
}
}  // namespace

void KivLogSetDir(const std::string& dir) {
    LogState& s = State();
    std::lock_guard<std::mutex> g(s.mtx);
    CloseLocked(s);
    s.dirOverride = dir;
    RefreshNarrowPath(s);
}

const char* KivLogNarrowPath() {
    LogState& s = State();
    std::lock_guard<std::mutex> g(s.mtx);
    if (!g_narrowPath[0]) RefreshNarrowPath(s);
    return g_narrowPath;
}

void KivLogClose() {
    LogState& s = State();
    std::lock_guard<std::mutex> g(s.mtx);
    CloseLocked(s);
}

void KivLogTextW(const std::string& text) {
    std::string prefix = Prefix();
    std::u16string w = KivUtf8ToUtf16(text);
    if (static_cast<int>(w.size()) >= TextRoom(prefix)) return;
    AppendLine(ToUtf16LEBytes(prefix + text + "\r\n"), true);
}

void KivLogW(int, const wchar_t* pszFormat, ...) {
    if (!pszFormat) return;
    std::string prefix = Prefix();
    int room = TextRoom(prefix);
    wchar_t buf[kLineChars];
    va_list ap;
    va_start(ap, pszFormat);
    int n = std::vswprintf(buf, static_cast<size_t>(room) + 1, pszFormat, ap);
    va_end(ap);
    if (n < 0 || n > room) return;  // too long or a bad format: the line is dropped
    AppendLine(ToUtf16LEBytes(prefix + KivWideToUtf8(std::wstring_view(buf, static_cast<size_t>(n))) + "\r\n"),
               true);
}

void KivLogA(int, const char* pszFormat, ...) {
    if (!pszFormat) return;
    std::string prefix = Prefix();
    int room = TextRoom(prefix);
    char buf[kLineChars];
    va_list ap;
    va_start(ap, pszFormat);
    int n = std::vsnprintf(buf, static_cast<size_t>(room) + 1, pszFormat, ap);
    va_end(ap);
    if (n < 0 || n > room) return;
    AppendLine(prefix + std::string(buf, static_cast<size_t>(n)) + "\r\n", false);
}

namespace {

struct OwnerTag {
    const char* owner;
    const char* tag;
};

OwnerTag OwnerTagOf(uint32_t module) {
    // Owner words name the maintaining team: "base" for the engine side, "shell" for the program.
    switch (module) {
        case 0x01: return {"base", "KivLog"};
        case 0x10: return {"base", "KivEnumDisk"};
        case 0x11: return {"base", "KivScanDev"};
        case 0x12: return {"shell", "KivUiDataRec"};
        case 0xFF: return {"base", "KivTestDll"};
        default: return {"Unk aur", "Undef mod"};
    }
}

}  // namespace

KivResult LogError(KivResult nCode, const char* pszFile, const char* pszOperation, int nLine) {
    (void)pszOperation;  // accepted for the call sites, not printed
    const char* base = "";
    if (pszFile) {
        base = pszFile;
        for (const char* p = pszFile; *p; ++p)
            if (*p == '/' || *p == '\\') base = p + 1;
    }
    char inner[512];
    std::snprintf(inner, sizeof(inner), "return error 0x%8X. \"%s\", Line %d.\n", nCode, base, nLine);
    OwnerTag ot = OwnerTagOf(KIV_MODULE_NUMBER);
    char outer[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"  // both parts are capped at 512 bytes by design
    std::snprintf(outer, sizeof(outer), "[%s:%s] : %s", ot.owner, ot.tag, inner);
#pragma GCC diagnostic pop
    KivLogTextW(outer);
    return nCode;
}

#if KIV_MODULE_NUMBER == 0x12
// The program installs the crash handler during static initialisation; this file is linked into
// every build of it, while an unreferenced handler file would be left out of the link.
namespace {
const bool g_crashHandlerInstalled = (KivInstallCrashHandler(), true);
}
#endif
