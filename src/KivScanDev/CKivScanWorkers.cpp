#include "CKivScanWorkers.h"

CKivScanWorkers::CKivScanWorkers(size_t nTasks) : m_nTasks(nTasks) {
    for (size_t i = 1; i < nTasks; ++i) {
        try {
            m_threads.emplace_back(&CKivScanWorkers::Member, this, i);
        } catch (...) {
            break;  // the rest runs on the calling thread
        }
    }
}

CKivScanWorkers::~CKivScanWorkers() {
    {
        std::lock_guard<std::mutex> g(m_mtx);
        m_bQuit = true;
    }
    m_cvWork.notify_all();
    for (std::thread& t : m_threads) t.join();
}

void CKivScanWorkers::Member(size_t i) {
    uint64_t nSeen = 0;
    std::unique_lock<std::mutex> lk(m_mtx);
    for (;;) {
        m_cvWork.wait(lk, [&] { return m_bQuit || m_nRound != nSeen; });
        if (m_bQuit) return;
        nSeen = m_nRound;
        const std::function<void(size_t)>* pFn = m_pFn;
        lk.unlock();
        (*pFn)(i);
        lk.lock();
        if (--m_nBusy == 0) m_cvDone.notify_one();
    }
}

void CKivScanWorkers::Run(const std::function<void(size_t)>& fn) {
    if (m_threads.empty()) {
        for (size_t i = 0; i < m_nTasks; ++i) fn(i);
        return;
    }
    {
        std::lock_guard<std::mutex> g(m_mtx);
        m_pFn = &fn;
        m_nBusy = m_threads.size();
        ++m_nRound;
    }
    m_cvWork.notify_all();
    fn(0);
    for (size_t i = m_threads.size() + 1; i < m_nTasks; ++i) fn(i);
    std::unique_lock<std::mutex> lk(m_mtx);
    m_cvDone.wait(lk, [&] { return m_nBusy == 0; });
    m_pFn = nullptr;
}
