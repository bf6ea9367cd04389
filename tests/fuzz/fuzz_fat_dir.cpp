// FAT directory sectors: the sector test, every entry's checks, names, long-name runs and times,
// walked as the tree builder walks a directory.
#include "Fat/CKivFatDirEntry.h"
#include "Fat/CKivFatDirSector.h"
#include "Fat/CKivFatLongName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    for (size_t off = 0; off < size; off += 512) {
        CKivFatDirSector sec;
        sec.Test(in.subspan(off, std::min<size_t>(512, size - off)));
    }
    CKivFatLongName lfn;
    lfn.Reset();
    for (size_t off = 0; off + CKivFatDirEntry::kSize <= size; off += CKivFatDirEntry::kSize) {
        std::span<const uint8_t> raw = in.subspan(off, CKivFatDirEntry::kSize);
        CKivFatDirEntry e;
        if (!e.Decode(raw)) continue;
        e.IsPlausible(true);
        if (!e.IsPlausible(false)) {
            lfn.Reset();
            continue;
        }
        if (e.IsLongName()) {
            lfn.Add(raw);
            continue;
        }
        if (e.IsLabel()) (void)e.LabelText();
        uint8_t first = 0;
        std::string name = lfn.Take(e, &first);
        if (name.empty()) name = e.ShortName(first ? first : '_');
        (void)e.CreationTime();
        (void)e.ModificationTime();
        (void)e.AccessTime();
        (void)e.Checksum(first);
        (void)e.FirstCluster(true);
    }
    return 0;
}
