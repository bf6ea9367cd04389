// Live heap bytes of the test program, counted by its own operator new: a test resets the peak,
// runs the code under test and asserts on the most that was held at once.
#pragma once

#include <cstdint>

namespace kiv_alloc {

// Starts a new measurement: the peak becomes what is held now.
void ResetPeak();
// Most bytes held at once since ResetPeak, minus what was held at that moment.
uint64_t PeakSinceReset();

}  // namespace kiv_alloc
