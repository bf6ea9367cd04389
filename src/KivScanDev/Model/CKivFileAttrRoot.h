// Attribute of the root of a result tree: no runs.
#pragma once

#include "CKivFileAttrBase.h"

class CKivFileAttrRoot : public CKivFileAttrBase {
public:
    CKivFileAttrRoot() : CKivFileAttrBase(259, 0xFFFF) {}
    int GetAttrKind() override { return KIV_ATTR_ROOT; }
    IDataRunList* GetDataRunList() override { return nullptr; }
    // 16-bit name length, name, 16-bit text length, text, size, attributes, three times, the
    // 16-bit value, the two 32-bit values.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // resets the check state

    void SetValue16(uint16_t n) { m_nValue16 = n; }
    uint16_t GetValue16() const { return m_nValue16; }
    void SetValues32(uint32_t a, uint32_t b) {
        m_aValues32[0] = a;
        m_aValues32[1] = b;
    }
    uint32_t GetValue32(int i) const { return m_aValues32[i & 1]; }

private:
    uint16_t m_nValue16 = 0;
    uint32_t m_aValues32[2] = {0, 0};
};
