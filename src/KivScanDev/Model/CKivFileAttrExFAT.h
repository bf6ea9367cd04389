// Attribute of an exFAT directory entry set.
#pragma once

#include "CKivFileAttrBase.h"
#include "IKivAttrDataInfo.h"

class CKivFileAttrExFAT : public CKivFileAttrBase, public IKivAttrDataInfo {
public:
    // What the scanner knows about the clusters of a deleted entry.
    enum Damage : uint8_t {
        kIntact = 0,
        kReused = 1,     // some of its clusters now belong to a live entry
        kPastEnd = 2,    // its clusters would run past the end of the volume
        kGuessed = 3,    // a freed chain: the clusters were taken as the free ones after the first
        kBadChain = 4,   // its cluster chain loops or leaves the volume
    };

    CKivFileAttrExFAT() : CKivFileAttrBase(0xFFFF, 0) {}
    int GetAttrKind() override { return KIV_ATTR_EXFAT; }
    // 16-bit name length, name, size, valid length, attributes, three times, record state, first
    // cluster, directory cluster, damage code, has-runs flag and runs.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // resets check state and user value

    uint64_t GetValidLength() override { return m_nValidLength; }
    // Only reuse and a run past the volume end are damage; a guessed layout is not known to be wrong.
    const char* GetDataDamage() override;

    void SetValidLength(uint64_t n) { m_nValidLength = n; }
    void SetDamage(Damage d) { m_nDamage = d; }
    // The content check found the data not holding together from byte nAt on.
    void SetContentBreak(uint64_t nAt) { m_strContentDamage = KivContentBreakText(nAt); }
    Damage GetDamage() const { return static_cast<Damage>(m_nDamage); }
    // First cluster of the entry and cluster of the directory that holds it; 0 when unknown.
    void SetClusters(uint32_t nFirst, uint32_t nDir) {
        m_nFirstCluster = nFirst;
        m_nDirCluster = nDir;
    }
    uint32_t GetFirstCluster() const { return m_nFirstCluster; }
    uint32_t GetDirCluster() const { return m_nDirCluster; }

private:
    uint64_t m_nValidLength = 0;
    uint32_t m_nFirstCluster = 0;
    uint32_t m_nDirCluster = 0;
    uint8_t m_nDamage = kIntact;
    std::string m_strContentDamage;
};
