// A result tree made by hand: file-system, folder and file nodes with the attribute values a test
// names, for testing what the program builds on top of the engine's tree without a scan.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "KivScanResult.h"

class KivFakeAttr final : public IKivFileAttr {
public:
    uint32_t GetNameLength() override { return static_cast<uint32_t>(name.size()); }
    int SetName(const char* psz) override {
        name = psz ? psz : "";
        return 1;
    }
    const char* GetName() override { return name.c_str(); }
    uint64_t GetSize() override { return size; }
    uint16_t GetAttributes() override { return attributes; }
    const char* GetTypeText() override { return ""; }
    uint64_t GetCreationTime() override { return ctime; }
    uint64_t GetModificationTime() override { return mtime; }
    uint64_t GetAccessTime() override { return 0; }
    uint8_t GetRecordState() override { return recordState; }
    uint8_t GetCheckState() override { return checkState; }
    void SetCheckState(uint8_t n) override { checkState = n; }
    IDataRunList* GetDataRunList() override { return nullptr; }
    uint32_t GetValidFields() override { return validFields; }
    uint32_t GetUserValue() override { return 0; }
    void SetUserValue(uint32_t) override {}
    int Save(IKivStream*) override { return 0; }
    int GetAttrKind() override { return kind; }
    int Load(IKivStream*) override { return 0; }

    std::string name;
    uint64_t size = 0, ctime = 0, mtime = 0;
    uint16_t attributes = 0;
    uint8_t recordState = 0, checkState = 0;
    uint32_t validFields = 0xFF;
    int kind = KIV_ATTR_FAT;
};

// Children are kept newest first, as the engine keeps them.
class KivFakeNode final : public IKivFsNode {
public:
    static KivFakeNode* Fs(const std::string& name) {
        auto* p = Dir(name);
        p->m_bFs = true;
        return p;
    }
    static KivFakeNode* Dir(const std::string& name, uint8_t nRecordState = 0) {
        auto* p = new KivFakeNode;
        p->attr.name = name;
        p->attr.attributes = KIV_FA_DIRECTORY;
        p->attr.recordState = nRecordState;
        return p;
    }
    static KivFakeNode* File(const std::string& name, uint64_t nSize, uint8_t nRecordState = 0) {
        auto* p = new KivFakeNode;
        p->attr.name = name;
        p->attr.size = nSize;
        p->attr.recordState = nRecordState;
        return p;
    }
    // Adds the child and answers it, for chains of additions.
    KivFakeNode* Add(KivFakeNode* pChild) {
        AddChild(pChild);
        return pChild;
    }

    ~KivFakeNode() override {
        // Without recursion, like the engine's nodes.
        std::vector<IKivFileNode*> pending;
        for (IKivFileNode* c = m_pFirst; c; c = c->GetNextSibling()) pending.push_back(c);
        m_pFirst = nullptr;
        while (!pending.empty()) {
            auto* p = static_cast<KivFakeNode*>(pending.back());
            pending.pop_back();
            for (IKivFileNode* c = p->m_pFirst; c; c = c->GetNextSibling()) pending.push_back(c);
            p->m_pFirst = nullptr;
            delete p;
        }
    }

    IKivFileAttr* GetAttr() override { return m_bNoAttr ? nullptr : &attr; }
    void SetAttr(IKivFileAttr*) override {}
    uint32_t GetUserData() override { return 0; }
    void SetUserData(uint32_t) override {}
    void SetNextSibling(IKivFileNode* p) override { m_pNext = p; }
    void SetParent(IKivFileNode* p) override { m_pParent = p; }
    IKivFileNode* GetParent() override { return m_pParent; }
    IKivFileNode* GetFirstChild() override { return m_pFirst; }
    IKivFileNode* GetNextSibling() override { return m_pNext; }
    int AddChild(IKivFileNode* pChild) override {
        pChild->SetParent(this);
        pChild->SetNextSibling(m_pFirst);
        m_pFirst = pChild;
        return 1;
    }
    int RemoveChild(IKivFileNode*) override { return 0; }
    int IsFsNode() override { return m_bFs ? 1 : 0; }
    int GetPartInfo(uint64_t* pBase, uint32_t* pSpc) override {
        if (pBase) *pBase = 0;
        if (pSpc) *pSpc = 1;
        return 1;
    }
    int32_t GetFsType() override { return KIV_FS_FAT32; }
    int Save(IKivStream*) override { return 0; }
    int Load(IKivStream*) override { return 0; }
    void SetPartInfo(uint64_t, uint32_t) override {}
    void SetFsType(int32_t) override {}
    void GetPartDesc(uint8_t* p) override { std::memset(p, 0, KIV_PARTDESC_SIZE); }
    void SetPartDesc(const uint8_t*) override {}
    void ToggleCheck(int) override {}
    void SetNodeUserValue(IKivFileNode*, uint32_t) override {}
    void GetStats(KivFsStats* p) override { std::memset(p, 0, sizeof *p); }
    void RecountStats() override {}
    void RefreshChecks() override {}
    void PropagateChecks(IKivFileNode*) override {}
    void SetLabel(const char*) override {}
    const char* GetLabel() override { return ""; }

    KivFakeAttr attr;
    bool m_bNoAttr = false;

private:
    KivFakeNode() = default;
    bool m_bFs = false;
    IKivFileNode* m_pParent = nullptr;
    IKivFileNode* m_pFirst = nullptr;
    IKivFileNode* m_pNext = nullptr;
};
