// The dynamic-disk database of one disk (PRIVHEAD, TOCBLOCK, VMDB, VBLK records) and the volumes
// built from it, read back at a few places.
#include <vector>

#include "KivFuzzDisk.h"
#include "Ldm/CKivLdmDatabase.h"
#include "Ldm/KivDynamicVolumes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    CKivLdmDatabase direct;
    direct.ParseConfig(in);
    KivLdmPrivHead head;
    KivParseLdmPrivHead(in.subspan(0, std::min<size_t>(512, size)), &head);

    auto* disk = new KivFuzzDisk(in, 1 << 14);
    CKivLdmDatabase db;
    db.ReadFrom(disk);
    DiskInfo rec{};
    rec.pDisk = disk;
    rec.pStor = disk;
    rec.nDynamic = 1;
    std::vector<PartInfo> vols;
    KivEnumDynamicVolumes({rec}, &vols);
    for (const PartInfo& v : vols) KivFuzzTouch(v.pDevice);
    KivReleasePartInfos(&vols);
    disk->Release();
    return 0;
}
