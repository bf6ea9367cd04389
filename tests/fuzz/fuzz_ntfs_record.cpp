// One MFT file record: fix-ups, the attribute walk, names, standard information, attribute lists,
// mapping pairs, and the run list the engine keeps of them.
#include <memory>

#include "Model/CKivCompactRunList.h"
#include "Ntfs/CKivNtfsFileRecord.h"
#include "Ntfs/KivNtfsRuns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    std::vector<uint8_t> copy(in.begin(), in.end());
    KivNtfsApplyFixups(copy);

    CKivNtfsFileRecord rec;
    if (!rec.Parse(in)) return 0;
    (void)rec.SystemName();
    for (const KivNtfsAttr& a : rec.Attributes()) {
        KivNtfsFileName fn;
        KivNtfsStdInfo si;
        CKivNtfsFileRecord::DecodeFileName(a, &fn);
        CKivNtfsFileRecord::DecodeStdInfo(a, &si);
        if (a.nType == KIV_NTFS_AT_ATTRIBUTE_LIST && !a.bNonResident) {
            std::vector<KivNtfsListEntry> entries;
            CKivNtfsFileRecord::DecodeAttributeList(a.value, &entries);
        }
        if (!a.bNonResident) continue;
        for (uint64_t maxClusters : {uint64_t(0), uint64_t(1) << 20}) {
            std::vector<KivNtfsRun> runs;
            KivNtfsDecodeRuns(a.mappingPairs, a.nStartVcn, maxClusters, &runs);
            uint64_t lcn;
            KivNtfsVcnToLcn(runs, a.nStartVcn + 1, &lcn);
            (void)KivNtfsRunClusters(runs);
        }
        CKivCompactRunList list;
        list.SetBytes(a.mappingPairs);
        std::vector<KivDataRun> decoded;
        list.Decode(&decoded);
        std::unique_ptr<IDataRunList> runList(list.BuildRunList());
        for (const KivDataRun* r = runList ? runList->First() : nullptr; r; r = runList->Next()) {
        }
    }
    return 0;
}
