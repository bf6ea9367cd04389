// The root of a result tree or a partition node: partition geometry, a label, tick statistics.
#pragma once

#include <string>

#include "CKivNodeImpl.h"

class CKivFsNode final : public CKivNodeImpl<IKivFsNode> {
public:
    CKivFsNode();
    explicit CKivFsNode(IKivFileAttr* pAttr);

    int IsFsNode() override { return 1; }
    int GetPartInfo(uint64_t* pBaseSector, uint32_t* pSecPerClus) override;
    int32_t GetFsType() override { return m_nFsType; }
    // Statistics (selected counters as 0), base sector, sectors per cluster, type, label.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;

    void SetPartInfo(uint64_t nBaseSector, uint32_t nSecPerClus) override {
        m_nBaseSector = nBaseSector;
        m_nSecPerClus = nSecPerClus;
    }
    void SetFsType(int32_t nType) override { m_nFsType = nType; }
    void GetPartDesc(uint8_t* pOut264) override;
    void SetPartDesc(const uint8_t* pIn264) override;
    void ToggleCheck(int bOnlyThisNode) override;
    void SetNodeUserValue(IKivFileNode* pNode, uint32_t nValue) override;
    void GetStats(KivFsStats* pOut) override;
    void RecountStats() override;
    void RefreshChecks() override;
    void PropagateChecks(IKivFileNode* pDir) override;
    void SetLabel(const char* pszLabel) override;  // keeps at most 40 characters
    const char* GetLabel() override { return m_strLabel.c_str(); }

    // Adds signed deltas to the selected counters (used when a tick below changes).
    void AdjustSelected(int64_t nFiles, int64_t nSize, int64_t nCompressed, int64_t nEncrypted);

private:
    KivFsStats m_stats{};
    uint8_t m_partDesc[KIV_PARTDESC_SIZE]{};
    uint64_t m_nBaseSector = 0;
    uint32_t m_nSecPerClus = 0;
    int32_t m_nFsType = KIV_FS_NONE;
    std::string m_strLabel;
};
