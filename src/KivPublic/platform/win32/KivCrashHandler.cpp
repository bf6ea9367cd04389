// Windows back end of the crash handler: an unhandled-exception filter that has a thread write a
// minidump "KIVDump.dmp" through DbgHelp's MiniDumpWriteDump, then lets the process end.
#include "KivCrashHandler.h"

#include <atomic>
#include <cwchar>
#include <string>

#include "KivLog.h"
#include "KivWin32.h"
#include "platform/KivPlatform.h"

#include <dbghelp.h>

namespace {

constexpr DWORD kDumpMillis = 10000;  // a dump that hangs (a lock held by the crashed thread) is cut short
std::atomic<bool> g_installed{false};
std::atomic<bool> g_inFilter{false};
wchar_t g_dumpPath[MAX_PATH * 4];

struct DumpJob {
    EXCEPTION_POINTERS* pInfo;
    DWORD nThread;
};

using PFN_MiniDumpWriteDump = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

HMODULE LoadDbgHelp() {
    std::wstring beside = KivWinPath(KivGetExeDir() + "/DbgHelp.dll");
    if (HMODULE h = LoadLibraryW(beside.c_str())) return h;
    return LoadLibraryExW(L"DbgHelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

DWORD WINAPI DumpThread(void* pv) {
    auto* job = static_cast<DumpJob*>(pv);
    KivLogA(0, "Kiv Dmp crush");
    HMODULE h = LoadDbgHelp();
    auto pfn = h ? reinterpret_cast<PFN_MiniDumpWriteDump>(reinterpret_cast<void*>(GetProcAddress(h, "MiniDumpWriteDump")))
                 : nullptr;
    if (!pfn) return 1;
    HANDLE f = CreateFileW(g_dumpPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    KivLogA(0, "Kiv Dmp crush wsDumpName = %s", KivWideToUtf8(g_dumpPath).c_str());
    MINIDUMP_EXCEPTION_INFORMATION mei{};
    mei.ThreadId = job->nThread;
    mei.ExceptionPointers = job->pInfo;
    mei.ClientPointers = FALSE;
    pfn(GetCurrentProcess(), GetCurrentProcessId(), f, MiniDumpNormal, &mei, nullptr, nullptr);
    CloseHandle(f);
    return 0;
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* pInfo) {
    if (g_inFilter.exchange(true)) return EXCEPTION_CONTINUE_SEARCH;
    DumpJob job{pInfo, GetCurrentThreadId()};
    HANDLE t = CreateThread(nullptr, 0, DumpThread, &job, 0, nullptr);
    if (!t) return EXCEPTION_CONTINUE_SEARCH;
    if (WaitForSingleObject(t, kDumpMillis) == WAIT_TIMEOUT) TerminateThread(t, 1);
    CloseHandle(t);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::string KivDumpDir() { return KivGetLogDir(); }

void KivInstallCrashHandler() {
    if (g_installed.exchange(true)) return;
    std::wstring path = KivWinPath(KivDumpDir() + "/" + KIV_DUMP_FILE);
    std::swprintf(g_dumpPath, sizeof(g_dumpPath) / sizeof(g_dumpPath[0]), L"%ls", path.c_str());
    SetUnhandledExceptionFilter(OnUnhandled);
}
