// An ext journal area (1 KiB blocks) read as a store of older block copies: its superblock,
// descriptor blocks with their tags, commit blocks, data blocks that wrap round the area's end,
// sequences that repeat or go back. Every copy of the first blocks of the volume is taken out.
#include "Ext/CKivExtJournal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t bs = 1024;
    const uint64_t nBlocks = size / bs;
    if (nBlocks == 0 || nBlocks > 4096) return 0;
    auto read = [&](uint64_t n, std::vector<uint8_t>* p) {
        if (n < 1000 || n - 1000 >= nBlocks) return false;
        p->assign(data + (n - 1000) * bs, data + (n - 1000 + 1) * bs);
        return true;
    };
    CKivExtJournal j;
    if (j.Load({{0, 1000, nBlocks, false}}, bs, read, [](uint64_t b) { return b < 256; }))
        for (uint64_t b = 0; b < 256; ++b) (void)j.Copies(b);
    return 0;
}
