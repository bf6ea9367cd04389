#include "KivUiWait.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/KivPlatform.h"

void KivRunPumping(const std::function<void()>& fn) {
    std::atomic<bool> bDone{false};
    std::thread worker([&] {
        fn();
        bDone = true;
    });
    while (!bDone.load()) {
        KivPumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(KIV_WAIT_SLICE_MS));
    }
    worker.join();
}

KivResult KivWaitPumping(const std::function<KivResult(uint32_t)>& wait) {
    for (;;) {
        KivResult rc = wait(KIV_WAIT_SLICE_MS);
        if (KivErrNo(rc) != KIV_E_TIMEOUT) return rc;
        KivPumpMessages();
    }
}
