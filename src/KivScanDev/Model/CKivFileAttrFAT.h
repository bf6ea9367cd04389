// Attribute of a FAT directory entry.
#pragma once

#include "CKivFileAttrBase.h"
#include "IKivAttrDataInfo.h"

class CKivFileAttrFAT : public CKivFileAttrBase, public IKivAttrDataInfo {
public:
    CKivFileAttrFAT() : CKivFileAttrBase(0xFFFF, 0) {}
    int GetAttrKind() override { return KIV_ATTR_FAT; }
    // 16-bit name length, 16-bit second-name length, both names, size, attributes, three times,
    // record state, the two scanner values, has-runs flag and runs.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // resets check state and user value

    void SetSecondName(const char* pszName);
    const char* GetSecondName() const { return m_strSecondName.c_str(); }
    // First cluster of the entry and cluster of its directory; 0xFFFFFFFF when unknown.
    void SetScannerValues(uint32_t nFirstCluster, uint32_t nDirCluster) {
        m_nFirstCluster = nFirstCluster;
        m_nDirCluster = nDirCluster;
    }
    uint32_t GetFirstCluster() const { return m_nFirstCluster; }
    uint32_t GetDirCluster() const { return m_nDirCluster; }

    // FAT keeps no valid length: the whole size is data.
    uint64_t GetValidLength() override { return ~0ull; }
    // Reuse (KIV_REC_REUSED) is the damage known from the tables; a content check may add its own.
    const char* GetDataDamage() override {
        if (m_nRecordState & KIV_REC_REUSED) return kKivReusedDamage;
        return m_strContentDamage.empty() ? nullptr : m_strContentDamage.c_str();
    }
    // The content check found the data not holding together from byte nAt on.
    void SetContentBreak(uint64_t nAt) { m_strContentDamage = KivContentBreakText(nAt); }

private:
    std::string m_strSecondName;
    std::string m_strContentDamage;
    uint32_t m_nFirstCluster = 0xFFFFFFFFu;
    uint32_t m_nDirCluster = 0xFFFFFFFFu;
};
