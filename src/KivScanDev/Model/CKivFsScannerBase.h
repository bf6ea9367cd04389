// What every file-system scanner of the pass keeps alike: the storage it reads with its sector
// size, the block size, the shared carved-file list, a block read outside the scan's cache, and
// its state saved and loaded through one description.
#pragma once

#include <vector>

#include "IKivFsScanner.h"
#include "Storage/KivScanBlock.h"

class CKivStateIO;

class CKivFsScannerBase : public IKivFsScanner {
public:
    // The sector size is the storage's when it is a multiple of 512, else 512.
    int SetStorage(IKivDevStor* pStor) override;
    int SetBlockSectors(uint32_t nSectors) override;
    int SetRawFileList(CRawFileList* pList) override;
    // Reads the block into a buffer of its own and analyses it as a view.
    int AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) override;
    // The whole state of the pass, through IoState; a load that fails leaves none of it.
    int SaveState(IKivStream* pStream) override;
    int LoadState(IKivStream* pStream) override;

protected:
    // bReadBySector: a block the storage refuses whole is read sector by sector, the failing ones
    // listed as unreadable; otherwise the whole block counts as unreadable.
    explicit CKivFsScannerBase(bool bReadBySector = true) : m_bReadBySector(bReadBySector) {}

    // One description of the state for both directions (see CKivStateIO).
    virtual int IoState(CKivStateIO& io);
    // Throws away what a failed load filled in.
    virtual void ClearState() {}
    // AnalyzeBlock could not read the block: nothing of it is analysed.
    virtual void OnUnreadableBlock() {}

    IKivDevStor* m_pStor = nullptr;
    uint32_t m_nSectorSize = 512;
    uint64_t m_nDevSectors = 0;
    uint32_t m_nBlockSectors = 0;
    CRawFileList* m_pRawList = nullptr;
    std::vector<uint8_t> m_block;  // a block read outside the scan's cache
    KivBadRanges m_blockBad;

private:
    bool m_bReadBySector;
};
