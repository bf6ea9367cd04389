// Attribute of an NTFS file record.
#pragma once

#include <utility>
#include <vector>

#include "CKivFileAttrBase.h"

class CKivFileAttrNTFS : public CKivFileAttrBase {
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

private:
    uint64_t m_nRecordRef = 0;
    std::vector<std::pair<uint64_t, uint64_t>> m_pairs;
};
