// Attribute of a carved file or folder of the carved-files subtree.
#pragma once

#include "CKivFileAttrBase.h"
#include "IKivAttrDataInfo.h"

class CKivFileAttrRAW : public CKivFileAttrBase, public IKivAttrDataInfo {
public:
    CKivFileAttrRAW() : CKivFileAttrBase(255, 255) {}
    // A null name stores "UnkownName" (and logs it); longer names are cut to 255 bytes.
    int SetName(const char* pszName) override;
    uint32_t GetValidFields() override { return 463; }
    int GetAttrKind() override { return KIV_ATTR_RAW; }
    // 8-bit name length, name, 8-bit type-text length, type text, size, attributes, kind value,
    // runs (compact list; an attribute without runs stores an empty one).
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // resets the check state

    // One run of ceil(size / 512) sectors from nStartSector; KIV_SPARSE_RUN or size 0 = no run.
    void SetSectorRun(uint64_t nStartSector, uint64_t nSize);
    void SetKindValue(uint8_t nValue) { m_nKindValue = nValue; }  // 16 for the carved-files root
    uint8_t GetKindValue() const { return m_nKindValue; }

    // Carved bytes are all the medium holds; a file whose end was not found is damaged.
    uint64_t GetValidLength() override { return ~0ull; }
    const char* GetDataDamage() override {
        return m_strContentDamage.empty() ? m_pszDamage : m_strContentDamage.c_str();
    }
    void SetDataDamage(const char* pszWhy) { m_pszDamage = pszWhy; }  // a static text, or null
    // The content check found the data not holding together from byte nAt on.
    void SetContentBreak(uint64_t nAt) { m_strContentDamage = KivContentBreakText(nAt); }

private:
    std::string m_strContentDamage;
    uint8_t m_nKindValue = 0;
    const char* m_pszDamage = nullptr;
};
