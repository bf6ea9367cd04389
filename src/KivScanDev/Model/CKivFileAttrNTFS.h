// Attribute of an NTFS file record.
#pragma once

#include <utility>
#include <vector>

#include "CKivFileAttrBase.h"
#include "IKivAttrDataInfo.h"
#include "IKivEfsMetadata.h"

// The scanner pairs carry where the record's "$EFS" stream lies: a first pair
// (KIV_NTFS_EFS_RESIDENT, size) followed by (record sector from the partition base, value offset),
// or (KIV_NTFS_EFS_RUNS, size) followed by the stream's runs (cluster, count; a sparse run starts at
// KIV_SPARSE_RUN).
constexpr uint64_t KIV_NTFS_EFS_RESIDENT = 0x5346452400000001ull;  // "$EFS" tag, resident
constexpr uint64_t KIV_NTFS_EFS_RUNS = 0x5346452400000002ull;      // "$EFS" tag, in clusters

class CKivFileAttrNTFS : public CKivFileAttrBase, public IKivEfsMetadata, public IKivAttrDataInfo {
public:
    CKivFileAttrNTFS() : CKivFileAttrBase(0xFFFF, 0xFFFF) {}
    uint32_t GetNameLength() override { return static_cast<uint32_t>(m_strName.size()) + 1; }
    int GetAttrKind() override { return KIV_ATTR_NTFS; }
    // 16-bit name length, the name, size, attributes, three times, record state, the record
    // reference, has-runs flag and runs, then a 64-bit count of scanner pairs and the pairs.
    // The type text (set on partition nodes) is not stored.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // resets check state and user value

    void SetRecordRef(uint64_t nRef) { m_nRecordRef = nRef; }
    uint64_t GetRecordRef() const { return m_nRecordRef; }
    void SetScannerPairs(std::vector<std::pair<uint64_t, uint64_t>> pairs) { m_pairs = std::move(pairs); }
    const std::vector<std::pair<uint64_t, uint64_t>>& GetScannerPairs() const { return m_pairs; }

    // Where the "$EFS" stream lies (stored in the scanner pairs).
    void SetEfsResident(uint64_t nRecordSector, uint16_t nOffset, uint32_t nSize);
    void SetEfsRuns(const std::vector<KivDataRun>& runs, uint64_t nSize);
    bool ReadEfsMetadata(IKivDevStor* pReader, uint64_t nBaseSector, uint32_t nSecPerClus,
                         std::vector<uint8_t>* pOut) override;

    // The initialised size is not kept: the whole size counts as written.
    uint64_t GetValidLength() override { return ~0ull; }
    // Reuse (KIV_REC_REUSED): a deleted record's clusters are in use again.
    const char* GetDataDamage() override { return (m_nRecordState & KIV_REC_REUSED) ? kKivReusedDamage : nullptr; }

private:
    uint64_t m_nRecordRef = 0;
    std::vector<std::pair<uint64_t, uint64_t>> m_pairs;
};
