// The engine's one extension filter: the scan request fills it, the scanners ask it which names
// they keep.
#pragma once

#include "Model/CKivExtFilterEx.h"

// Process-wide, like the scan settings: only one scan or result build at a time.
CKivExtFilterEx& KivEngineFilter();
