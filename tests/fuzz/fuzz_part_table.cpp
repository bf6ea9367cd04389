// Partition tables of a disk (MBR, chains of extended boot records, GPT) and the volume briefs
// read from each partition's first sectors.
#include <vector>

#include "CPartitionTableAnalyze.h"
#include "KivFuzzDisk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* disk = new KivFuzzDisk({data, size}, 1 << 16);  // 32 MiB: tables may point past the input
    std::vector<PartInfo> parts;
    CPartitionTableAnalyze analyze(nullptr, "/dev");
    analyze.AnalyzeDisk(disk, &parts);
    for (const PartInfo& p : parts) KivFuzzTouch(p.pDevice);
    KivReleasePartInfos(&parts);
    disk->Release();
    return 0;
}
