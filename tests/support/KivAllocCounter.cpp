// Replaces the ordinary (not over-aligned) forms of operator new and delete with malloc/free
// versions that keep a count of the bytes held; every form is replaced together so that no pair
// mixes another allocator's new with this delete.
#include "KivAllocCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#define malloc_usable_size _msize
#endif

namespace {

std::atomic<uint64_t> g_live{0};
std::atomic<uint64_t> g_peak{0};
std::atomic<uint64_t> g_base{0};

void* Allocate(size_t n) {
    for (;;) {
        if (void* p = std::malloc(n ? n : 1)) {
            uint64_t now = g_live.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
            uint64_t peak = g_peak.load(std::memory_order_relaxed);
            while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
            }
            return p;
        }
        std::new_handler h = std::get_new_handler();
        if (!h) throw std::bad_alloc();
        h();
    }
}

void Release(void* p) noexcept {
    if (!p) return;
    g_live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

namespace kiv_alloc {

void ResetPeak() {
    uint64_t now = g_live.load();
    g_base = now;
    g_peak = now;
}

uint64_t PeakSinceReset() {
    uint64_t peak = g_peak.load(), base = g_base.load();
    return peak > base ? peak - base : 0;
}

}  // namespace kiv_alloc

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return Allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    try {
        return Allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
