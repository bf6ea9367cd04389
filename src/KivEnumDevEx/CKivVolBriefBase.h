// What the brief kinds share: the three settled values and the label copy.
#pragma once

#include <cstring>
#include <string>

#include "IKivEnumDevEx.h"
#include "IKivVolBrief.h"
#include "KivDiskText.h"

class CKivVolBriefBase : public IKivVolBrief {
public:
    static constexpr size_t kLabelBytes = 100;

    int32_t GetFsKind() override { return m_nKind; }
    uint64_t GetTotalSectors() override { return m_nTotal; }
    void GetLabel(char* pDst, size_t nSize) override {
        if (pDst) std::memcpy(pDst, m_szLabel, nSize < kLabelBytes ? nSize : kLabelBytes);
    }

protected:
    void SetLabel(const std::string& s) { KivCopyText(m_szLabel, kLabelBytes, s); }

    int32_t m_nKind = KIV_FSK_UNKNOWN;
    uint64_t m_nTotal = 0;
    char m_szLabel[kLabelBytes] = {};
};
