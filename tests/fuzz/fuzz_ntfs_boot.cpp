// NTFS boot sectors and $LogFile restart pages.
#include "Ntfs/CKivNtfsBootSector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    KivNtfsBootSector bs;
    if (KivParseNtfsBootSector(in, &bs)) (void)bs.RecordBytes();
    KivIsNtfsRestartPage(in);
    return 0;
}
