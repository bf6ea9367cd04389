// A whole small device through the exFAT scanner: boot regions with their checksums, FATs, up-case
// tables and directory sectors found in every block, the candidates proposed, and the tree of each
// built (entry sets, deleted and lost folders).
#include "KivFuzzScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KivFuzzScanAndBuild(CreateExFatScanner(), {data, size}, 8);
    return 0;
}
