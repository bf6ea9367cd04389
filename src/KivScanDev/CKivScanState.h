// The saved state of one scan: the device geometry it ran over, how far it went, its filter
// settings and statistics, the carved files found and each scanner's own state (kept as bytes
// that the scanner alone reads). What a session file carries for the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IKivScanDev.h"
#include "Model/CRawFileInfo.h"

class CKivStateIO;

class CKivScanState {
public:
    static constexpr uint32_t kMagic = 0x5453534B;  // "KSST"
    static constexpr uint32_t kVersion = 2;  // 2: carved files carry their damage; 1 still loads

    struct ScannerState {
        int32_t nType = 0;
        std::vector<uint8_t> bytes;
    };

    uint32_t nSectorSize = 0;
    uint64_t nSectorCount = 0;
    uint32_t nBlockSectors = 0;
    uint64_t nBlocksDone = 0;
    uint64_t nBlocks = 0;
    bool bComplete = false;
    int32_t nFilterMode = 2;
    std::vector<std::string> filterExts;
    uint64_t stats[KIV_SCAN_STAT_COUNT]{};
    std::vector<ScannerState> scanners;

    // Writes the fields above, then the carved files of pList (null: none).
    KivResult Save(IKivStream* pStream, const CRawFileList* pList);
    // Reads them back, the carved files into pList (emptied first; their analysers are not set).
    // 0x020 for a short or damaged state, 0x003 for another format version.
    KivResult Load(IKivStream* pStream, CRawFileList* pList);

private:
    void IoHeader(CKivStateIO& io);
};
