// A file-system scanner: fed every block of the one pass over the device, then asked for the
// partitions it found and for their trees.
#pragma once

#include <vector>

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"

class CRawFileList;

class IKivFsScanner : public IKivCommon {
public:
    virtual int SetStorage(IKivDevStor* pStor) = 0;  // the scan's block cache, borrowed
    virtual int SetBlockSectors(uint32_t nSectors) = 0;
    virtual int BeginScan() = 0;
    virtual int EndScan() { return 0; }
    // pStats: the 16 counters of the scan statistics block.
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
IKivFsScanner* CreateRawScanner();
