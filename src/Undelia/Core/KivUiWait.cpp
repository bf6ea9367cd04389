#include "KivUiWait.h"

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "KivLog.h"
#include "KivUiCodes.h"
#include "platform/KivPlatform.h"

KivResult KivRunPumping(const std::function<KivResult()>& fn) {
    std::atomic<bool> bDone{false};
    KivResult rc = KIV_OK;
    // An exception left on the worker would end the program; the caller gets a code instead.
    auto work = [&] {
        try {
            rc = fn();
        } catch (const std::bad_alloc&) {
            rc = KIV_RETERR(KIV_E_NOMEMORY);
        } catch (...) {
            rc = KIV_RETERR(KIV_E_BIND);
        }
        bDone = true;
    };
    std::thread worker;
    try {
        worker = std::thread(work);
    } catch (const std::system_error&) {
        return KIV_RETERR(KIV_E_BIND);
    }
    while (!bDone.load()) {
        KivPumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(KIV_WAIT_SLICE_MS));
    }
    worker.join();
    return rc;
}

KivResult KivWaitPumping(const std::function<KivResult(uint32_t)>& wait) {
    for (;;) {
        KivResult rc = wait(KIV_WAIT_SLICE_MS);
        if (KivErrNo(rc) != KIV_E_TIMEOUT) return rc;
        KivPumpMessages();
    }
}
