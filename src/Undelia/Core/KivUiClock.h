// The one clock of the program for throttling redraws and timing long work.
#pragma once

#include <chrono>
#include <cstdint>

inline uint64_t KivTickMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
