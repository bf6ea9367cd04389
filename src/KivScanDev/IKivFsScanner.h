// A file-system scanner: fed every block of the one pass over the device, then asked for the
// partitions it found and for their trees.
#pragma once

#include <algorithm>
#include <vector>

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"
#include "Storage/KivScanBlock.h"

class CRawFileList;

class IKivFsScanner : public IKivCommon {
public:
    virtual int SetStorage(IKivDevStor* pStor) = 0;  // the scan's block cache, borrowed
    virtual int SetBlockSectors(uint32_t nSectors) = 0;
    // Answers a result code (KIV_OK when the scanner is ready); a failure stops the pass from
    // starting.
    virtual int BeginScan() = 0;
    virtual int EndScan() { return 0; }
    // pStats: the 16 counters of the scan statistics block. Answers a result code: a failure
    // (the block could not be analysed) is logged and counted, and the pass goes on.
    virtual int AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) = 0;
    // Appends new partitions; the caller owns them.
    virtual int EnumParts(std::vector<CKivScanResPart*>* pList) = 0;
    virtual int SetRawFileList(CRawFileList* pList) = 0;  // borrowed
    virtual int SaveState(IKivStream* pStream) = 0;
    virtual int LoadState(IKivStream* pStream) = 0;
    virtual int GetScannerType() = 0;
    // The partition node of a chosen partition, or null. nNameBase + 1 is shown in its name.
    virtual IKivFsNode* BuildTree(CKivScanResPart* /*pPart*/, IKivDevStor* /*pDev*/, uint32_t /*nNameBase*/,
                                  IKivEnumResFilesCallback* /*pCallback*/) {
        return nullptr;
    }
    virtual int CanHandle(int32_t /*nType*/) { return 0; }
    // Additions after the slots above.
    // The block the pass is at, as a view of the bytes the cache read once (no storage read needed).
    // Called side by side with the other scanners of the pass on the same view, each scanner on one
    // thread at a time, in ascending block order; pStats is this scanner's own copy of the
    // statistics block for the block. Answers a result code as AnalyzeBlock does, which it reads
    // the block through by default.
    virtual int AnalyzeView(const KivScanBlock& block, uint64_t* pStats) {
        return AnalyzeBlock(block.nFirst, block.nCount, pStats);
    }
    // The sectors [nFirst, nEnd) read as zeros (a hole of a sparse medium) and are not read:
    // nFirst is a block start, the run is whole blocks but for a last one at the device end. The
    // scanner ends in the state that analysing those zero blocks one by one leaves; by default it
    // does exactly that with views of zeros (zeros: at least one block of them).
    virtual int AnalyzeZeros(uint64_t nFirst, uint64_t nEnd, const KivScanBlock& zeros, uint64_t* pStats) {
        for (uint64_t s = nFirst; s < nEnd; s += zeros.nBlockSectors) {
            KivScanBlock b = zeros;
            b.nFirst = s;
            b.nCount = std::min<uint64_t>(zeros.nBlockSectors, nEnd - s);
            int rc = AnalyzeView(b, pStats);
            if (KivFailed(static_cast<KivResult>(rc))) return rc;
        }
        return KIV_OK;
    }
    // Nonzero when BuildTree would answer a tree for the partition. Asked while partitions are
    // selected, before any tree is built; a scanner answers it cheaply when it can. By default the
    // tree is built and released.
    virtual int HasTree(CKivScanResPart* pPart, IKivDevStor* pDev) {
        IKivFsNode* pNode = BuildTree(pPart, pDev, 0, nullptr);
        if (!pNode) return 0;
        pNode->Release();
        return 1;
    }
};

// Factories of the scanners, in the engine's order. Each answers a new scanner (count 1).
IKivFsScanner* CreateFatScanner();
IKivFsScanner* CreateNtfsScanner();
IKivFsScanner* CreateExFatScanner();
IKivFsScanner* CreateExtScanner();
IKivFsScanner* CreateRawScanner();
