// What every file attribute keeps (name, size, flags, times, states, user value, runs) and the
// setters the scanners fill it with. The kinds differ in what they store and in their limits.
#pragma once

#include <memory>
#include <string>

#include "CKivCompactRunList.h"
#include "KivStreamLE.h"
#include "KivScanResult.h"

// The engine's own record state bit beside the KIV_REC_* ones: a deleted entry whose clusters now
// belong to a live file. In the record state, the stored forms carry it without a change of layout.
constexpr uint8_t KIV_REC_REUSED = 0x40;

class CKivFileAttrBase : public IKivFileAttr {
public:
    uint32_t GetNameLength() override { return static_cast<uint32_t>(m_strName.size()); }  // bytes
    int SetName(const char* pszName) override;  // null clears; answers 0 when the name was shortened
    const char* GetName() override { return m_strName.c_str(); }
    uint64_t GetSize() override { return m_nSize; }
    uint16_t GetAttributes() override { return m_nAttributes; }
    const char* GetTypeText() override { return m_strTypeText.c_str(); }
    uint64_t GetCreationTime() override { return m_nCTime; }
    uint64_t GetModificationTime() override { return m_nMTime; }
    uint64_t GetAccessTime() override { return m_nATime; }
    uint8_t GetRecordState() override { return m_nRecordState; }
    uint8_t GetCheckState() override { return m_nCheckState; }
    void SetCheckState(uint8_t nState) override { m_nCheckState = nState; }
    IDataRunList* GetDataRunList() override;  // null when the entry has no run list
    uint32_t GetValidFields() override { return 255; }
    uint32_t GetUserValue() override { return m_nUserValue; }
    void SetUserValue(uint32_t nValue) override { m_nUserValue = nValue; }

    // Scanner-side setters.
    void SetSize(uint64_t nSize) { m_nSize = nSize; }
    void SetAttributes(uint16_t nAttributes) { m_nAttributes = nAttributes; }
    void SetTimes(uint64_t nCreation, uint64_t nModification, uint64_t nAccess) {
        m_nCTime = nCreation;
        m_nMTime = nModification;
        m_nATime = nAccess;
    }
    void SetRecordState(uint8_t nState) { m_nRecordState = nState; }
    void SetTypeText(const char* pszText);  // null clears; cut to the kind's limit
    // The entry's runs; an empty list still counts as "has runs" (it yields an empty run list).
    void SetRuns(const CKivCompactRunList& runs) { m_pRuns = std::make_unique<CKivCompactRunList>(runs); }
    void SetRuns(CKivCompactRunList&& runs) { m_pRuns = std::make_unique<CKivCompactRunList>(std::move(runs)); }
    void ClearRuns() { m_pRuns.reset(); }
    const CKivCompactRunList* GetRuns() const { return m_pRuns.get(); }
    bool IsDirectory() const { return (m_nAttributes & KIV_FA_DIRECTORY) != 0; }

protected:
    // nMaxNameBytes / nMaxTextBytes: what the kind's stored length field can hold.
    CKivFileAttrBase(size_t nMaxNameBytes, size_t nMaxTextBytes)
        : m_nMaxName(nMaxNameBytes), m_nMaxText(nMaxTextBytes) {}
    // Runs as stored: 32-bit has-runs flag and, when set, the compact list.
    int SaveRuns(IKivStream* pStream);
    int LoadRuns(IKivStream* pStream);

    std::string m_strName;
    std::string m_strTypeText;
    uint64_t m_nSize = 0;
    uint16_t m_nAttributes = 0;
    uint64_t m_nCTime = 0;
    uint64_t m_nMTime = 0;
    uint64_t m_nATime = 0;
    uint8_t m_nRecordState = 0;
    uint8_t m_nCheckState = 0;
    uint32_t m_nUserValue = 0;
    std::unique_ptr<CKivCompactRunList> m_pRuns;
    size_t m_nMaxName;
    size_t m_nMaxText;
};
