// A new-handler is not told the size that failed: the engine's large allocations (blocks, tables,
// record lists) name it with this scope, and the allocation guard reports the innermost one of the
// failing thread. Header-only, so that every piece of the engine can use it.
#pragma once

#include <cstdint>

class KivAllocSize {
public:
    explicit KivAllocSize(uint64_t nBytes) : m_nPrev(t_nPending) { t_nPending = nBytes; }
    ~KivAllocSize() { t_nPending = m_nPrev; }
    KivAllocSize(const KivAllocSize&) = delete;
    KivAllocSize& operator=(const KivAllocSize&) = delete;

    // The size named by the innermost scope of this thread; 0 outside every scope.
    static uint64_t Pending() { return t_nPending; }

private:
    static inline thread_local uint64_t t_nPending = 0;
    uint64_t m_nPrev;
};
