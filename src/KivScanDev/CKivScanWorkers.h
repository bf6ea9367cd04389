// A fixed team of threads that runs one piece of work per member side by side and waits for all
// of them: the scan thread hands each scanner the same block this way.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CKivScanWorkers {
public:
    // nTasks pieces per Run; piece 0 runs on the calling thread, the others on threads of their
    // own (fewer when threads cannot be had: their pieces then run on the calling thread too).
    explicit CKivScanWorkers(size_t nTasks);
    ~CKivScanWorkers();
    CKivScanWorkers(const CKivScanWorkers&) = delete;
    CKivScanWorkers& operator=(const CKivScanWorkers&) = delete;

    // fn(i) for every i < nTasks, side by side; returns when all have returned. fn must not throw.
    void Run(const std::function<void(size_t)>& fn);
    size_t Threads() const { return m_threads.size(); }

private:
    void Member(size_t i);

    size_t m_nTasks;
    std::vector<std::thread> m_threads;  // member k runs piece k + 1
    std::mutex m_mtx;
    std::condition_variable m_cvWork, m_cvDone;
    const std::function<void(size_t)>* m_pFn = nullptr;
    uint64_t m_nRound = 0;
    size_t m_nBusy = 0;
    bool m_bQuit = false;
};
