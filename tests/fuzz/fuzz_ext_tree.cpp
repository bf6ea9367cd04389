// A whole small device through the ext scanner: superblocks (primary and backups) found in every
// block, the candidates proposed, and the tree of each built (group descriptors, inodes, extent
// trees and block maps, directory blocks with their hidden entries, inline data).
#include "KivFuzzScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KivFuzzScanAndBuild(CreateExtScanner(), {data, size}, 8);
    return 0;
}
