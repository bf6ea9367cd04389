// Waiting on the caller's thread without freezing a window: work runs on a worker thread (or
// in the engine) while the caller pumps its front end's messages every 10 ms.
#pragma once

#include <functional>

#include "IKivScanDev.h"

constexpr uint32_t KIV_WAIT_SLICE_MS = 10;

// Runs fn on a worker thread and pumps until it returns; answers what fn answers. An exception
// out of fn ends the work there: 0x05E for a failed allocation, 0x001 for anything else (or when
// no thread could be had).
KivResult KivRunPumping(const std::function<KivResult()>& fn);
// Calls wait(10) while it answers the time-out code, pumping between the calls; answers the
// last code.
KivResult KivWaitPumping(const std::function<KivResult(uint32_t)>& wait);
