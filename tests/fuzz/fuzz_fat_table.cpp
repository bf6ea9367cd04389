// FAT allocation tables of the three widths (the first input byte chooses), their structure check,
// and the runs and directory chains built over them.
#include "Fat/CKivDoubleFatTable.h"
#include "Fat/CKivFatRunBuilder.h"
#include "KivFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t types[] = {KIV_FS_FAT12, KIV_FS_FAT16, KIV_FS_FAT32};
    int32_t type = types[data[0] % 3];
    auto* dev = new KivFuzzDevStor({data + 1, size - 1});
    auto table = CKivDoubleFatTable::NewTable(type);
    uint32_t sectors = uint32_t(dev->GetSectorCount());
    if (table && table->Load(dev, 0, sectors)) {
        table->CheckStructure();
        uint64_t clusters = uint64_t(sectors) * 512 * 8 / (type == KIV_FS_FAT12 ? 12 : type == KIV_FS_FAT16 ? 16 : 32);
        CKivFatRunBuilder runs(table.get(), clusters, 4096, 1 << 16);
        for (uint32_t c = 0; c < 64 && c < clusters + 2; ++c) {
            table->GetEntry(c);
            runs.ChainRuns(c, 0xFFFFFFFFu);
            runs.DeletedRuns(c, 1u << 20);
            runs.DirClusters(c, 512);
        }
        table->GetEntry(0xFFFFFFFFu);
    }
    dev->Release();
    return 0;
}
