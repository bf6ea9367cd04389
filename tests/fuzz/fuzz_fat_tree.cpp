// A whole small device through the FAT scanner: every block analysed, the candidates proposed,
// and the tree of each built (deleted entries, reconstructed folders, long names, recycle bins).
#include "KivFuzzScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KivFuzzScanAndBuild(CreateFatScanner(), {data, size}, 8);
    return 0;
}
