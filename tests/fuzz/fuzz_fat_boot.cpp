// FAT boot sectors: the three kinds' tests and the geometry they describe, for both sector sizes.
#include "Fat/CKivFatBootSector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    for (uint32_t z : {512u, 4096u}) {
        CKivFatBootSector bs;
        if (!bs.Parse(in, z)) continue;
        KivFatGeometry g;
        bs.MakeGeometry(0, 1ull << 21, &g);
        bs.MakeGeometry(63, 100, &g);
        bs.MakeGeometry(~0ull - 10, ~0ull, &g);
    }
    return 0;
}
