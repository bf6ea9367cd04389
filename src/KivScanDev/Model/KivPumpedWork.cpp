#include "KivPumpedWork.h"

#include <chrono>
#include <exception>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "KivLog.h"
#include "platform/KivPlatform.h"

void KivRunPumped(const std::function<void()>& fn) {
    std::mutex mtx;
    std::condition_variable cv;
    bool bDone = false;
    std::thread worker;
    try {
        worker = std::thread([&] {
            fn();
            std::lock_guard<std::mutex> lk(mtx);
            bDone = true;
            cv.notify_all();
        });
    } catch (const std::system_error&) {
        fn();
        return;
    }
    std::unique_lock<std::mutex> lk(mtx);
    while (!bDone) {
        lk.unlock();
        KivPumpMessages();
        lk.lock();
        cv.wait_for(lk, std::chrono::milliseconds(10), [&] { return bDone; });
    }
    lk.unlock();
    worker.join();
}

IKivFsNode* KivBuildPumped(const char* pszWho, const std::function<IKivFsNode*()>& build) {
    IKivFsNode* pResult = nullptr;
    KivRunPumped([&] {
        try {
            pResult = build();
        } catch (const std::exception& ex) {
            KivLogA(0, "%s: %s", pszWho, ex.what());
            KIV_RETERR(KIV_E_NOOBJ);
        } catch (...) {
            KIV_RETERR(KIV_E_NOOBJ);
        }
    });
    return pResult;
}
