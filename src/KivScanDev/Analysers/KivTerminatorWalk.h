// Measuring by a closing text: the file ends right after the first occurrence of the terminator.
#pragma once

#include <cstdint>
#include <string_view>

#include "IKivDevStor.h"
#include "Model/CRawFileInfo.h"

// Searches the file from offset 0 for term, ignoring case, below nLimit bytes (bounded by the size
// cap too). Found: size = its end, true. Not found: when bSizeAtLimit the size is the limit reached
// and the answer true; otherwise false. A read failure before that answers false.
bool KivMeasureToTerminator(CRawFileInfo* pInfo, IKivDevStor* pStor, std::string_view term, uint64_t nLimit,
                            bool bSizeAtLimit);
