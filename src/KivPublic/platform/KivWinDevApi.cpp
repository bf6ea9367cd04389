// The seam's selection; the system's own calls are in win32/KivWinDevApiSystem.cpp.
#include "platform/KivWinDevApi.h"

#include <atomic>

namespace {
std::atomic<IKivWinDevApi*> g_pApi{nullptr};
}  // namespace

IKivWinDevApi* KivWinSystemDevApi();  // win32/; null elsewhere

IKivWinDevApi* KivWinDevApi() {
    IKivWinDevApi* p = g_pApi.load();
    return p ? p : KivWinSystemDevApi();
}

void KivSetWinDevApi(IKivWinDevApi* pApi) { g_pApi.store(pApi); }

#ifndef _WIN32
IKivWinDevApi* KivWinSystemDevApi() { return nullptr; }
#endif
