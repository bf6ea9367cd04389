// An ext2/ext3/ext4 volume found by the scan. The base's data start is the volume's first sector
// (block 0), its sectors per cluster the sectors of one block; m_nSuperSector and m_nSuperOffset
// say where the copy of the superblock the volume was found by lies (the primary, or a backup in a
// later group when the primary is lost).
#pragma once

#include <array>

#include "KivScanResult.h"

class CKivScanResPartExt : public CKivScanResPart {
public:
    enum : uint32_t { kPrimary = 0x01, kBackup = 0x02 };

    using CKivScanResPart::CKivScanResPart;
    ~CKivScanResPartExt() override;
    int GetScannerKind() override;  // KIV_SCANNER_EXT2, for the whole family
    // The base fields, then the fields below in their order.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;

    uint32_t m_nBlockSize = 0;
    uint64_t m_nBlocksCount = 0;
    uint64_t m_nSuperSector = 0;  // device sector
    uint32_t m_nSuperOffset = 0;  // bytes into it
    uint32_t m_nBackups = 0;      // backup copies found that agree
    uint32_t m_nEvidenceFlags = 0;
    std::array<uint8_t, 16> m_uuid{};
};
