// Waiting on the caller's thread without freezing a window: work runs on a worker thread (or
// in the engine) while the caller pumps its front end's messages every 10 ms.
#pragma once

#include <functional>

#include "IKivScanDev.h"

constexpr uint32_t KIV_WAIT_SLICE_MS = 10;

// Runs fn on a worker thread and pumps until it returns.
void KivRunPumping(const std::function<void()>& fn);
// Calls wait(10) while it answers the time-out code, pumping between the calls; answers the
// last code.
KivResult KivWaitPumping(const std::function<KivResult(uint32_t)>& wait);
