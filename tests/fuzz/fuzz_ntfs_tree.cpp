// A whole small device through the NTFS scanner: boot sectors, restart pages and records found in
// every block, the candidates proposed, and the MFT of each read into a tree (or the records found
// when the MFT is gone).
#include "KivFuzzScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KivFuzzScanAndBuild(CreateNtfsScanner(), {data, size}, 4);
    return 0;
}
