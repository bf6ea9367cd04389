#include "CKivFsNode.h"

#include <cstring>
#include <vector>

#include "KivStreamLE.h"

namespace {

bool IsDir(IKivFileNode* p) {
    IKivFileAttr* a = p->GetAttr();
    return a && (a->GetAttributes() & KIV_FA_DIRECTORY);
}

uint8_t CheckOf(IKivFileNode* p) {
    IKivFileAttr* a = p->GetAttr();
    return a ? a->GetCheckState() : uint8_t(KIV_CHECK_NONE);
}

// A directory's state from its children: none, all or some of them selected.
void DeriveFromChildren(IKivFileNode* pDir) {
    IKivFileAttr* a = pDir->GetAttr();
    if (!a) return;
    uint32_t n = 0, nFull = 0, nPart = 0;
    for (IKivFileNode* c = pDir->GetFirstChild(); c; c = c->GetNextSibling()) {
        ++n;
        uint8_t s = CheckOf(c);
        nFull += s == KIV_CHECK_FULL;
        nPart += s == KIV_CHECK_PART;
    }
    if (nFull == 0 && nPart == 0)
        a->SetCheckState(KIV_CHECK_NONE);
    else
        a->SetCheckState(nFull < n ? KIV_CHECK_PART : KIV_CHECK_FULL);
}

// Calls fn on pRoot and every node below it, without recursion.
template <class Fn>
void ForSubtree(IKivFileNode* pRoot, Fn fn) {
    std::vector<IKivFileNode*> stack{pRoot};
    while (!stack.empty()) {
        IKivFileNode* p = stack.back();
        stack.pop_back();
        fn(p);
        for (IKivFileNode* c = p->GetFirstChild(); c; c = c->GetNextSibling()) stack.push_back(c);
    }
}

struct SelDelta {
    int64_t nFiles = 0, nSize = 0, nCompressed = 0, nEncrypted = 0;
};

void AddFile(IKivFileAttr* a, int64_t nSign, SelDelta* d) {
    d->nFiles += nSign;
    d->nSize += nSign * static_cast<int64_t>(a->GetSize());
    d->nCompressed += (a->GetAttributes() & KIV_FA_COMPRESSED) ? nSign : 0;
    d->nEncrypted += (a->GetAttributes() & KIV_FA_ENCRYPTED) ? nSign : 0;
}

// Stored label: at most this many bytes (40 characters of up to 4 bytes).
constexpr uint32_t kMaxLabelBytes = KIV_LABEL_MAX * 4;

}  // namespace

CKivFsNode::CKivFsNode() = default;
CKivFsNode::CKivFsNode(IKivFileAttr* pAttr) : CKivNodeImpl<IKivFsNode>(pAttr) {}

int CKivFsNode::GetPartInfo(uint64_t* pBaseSector, uint32_t* pSecPerClus) {
    if (pBaseSector) *pBaseSector = m_nBaseSector;
    if (pSecPerClus) *pSecPerClus = m_nSecPerClus;
    return 1;
}

void CKivFsNode::GetPartDesc(uint8_t* pOut264) {
    if (pOut264) std::memcpy(pOut264, m_partDesc, sizeof(m_partDesc));
}

void CKivFsNode::SetPartDesc(const uint8_t* pIn264) {
    if (pIn264) std::memcpy(m_partDesc, pIn264, sizeof(m_partDesc));
}

void CKivFsNode::AdjustSelected(int64_t nFiles, int64_t nSize, int64_t nCompressed, int64_t nEncrypted) {
    m_stats.nSelFiles += static_cast<uint32_t>(nFiles);
    m_stats.nSelSize += static_cast<uint64_t>(nSize);
    m_stats.nSelCompressed += static_cast<uint32_t>(nCompressed);
    m_stats.nSelEncrypted += static_cast<uint32_t>(nEncrypted);
}

void CKivFsNode::ToggleCheck(int bOnlyThisNode) {
    uint8_t nNew = CheckOf(this) == KIV_CHECK_FULL ? KIV_CHECK_NONE : KIV_CHECK_FULL;
    if (bOnlyThisNode) {
        if (m_pAttr) m_pAttr->SetCheckState(nNew);
        return;
    }
    SelDelta d;
    ForSubtree(this, [&](IKivFileNode* p) {
        IKivFileAttr* a = p->GetAttr();
        if (!a) return;
        bool bWasFull = a->GetCheckState() == KIV_CHECK_FULL;
        if (!(a->GetAttributes() & KIV_FA_DIRECTORY) && bWasFull != (nNew == KIV_CHECK_FULL))
            AddFile(a, bWasFull ? -1 : 1, &d);
        a->SetCheckState(nNew);
    });
    AdjustSelected(d.nFiles, d.nSize, d.nCompressed, d.nEncrypted);
    uint32_t i = 0;
    for (IKivFileNode* p = m_pParent; p && i < (1u << 22); p = p->GetParent(), ++i) {
        DeriveFromChildren(p);
        if (auto* pFs = dynamic_cast<CKivFsNode*>(p)) pFs->AdjustSelected(d.nFiles, d.nSize, d.nCompressed, d.nEncrypted);
    }
}

void CKivFsNode::SetNodeUserValue(IKivFileNode* pNode, uint32_t nValue) {
    if (pNode && pNode->GetAttr()) pNode->GetAttr()->SetUserValue(nValue);
}

void CKivFsNode::GetStats(KivFsStats* pOut) {
    if (pOut) *pOut = m_stats;
}

void CKivFsNode::RecountStats() {
    KivFsStats s{};
    ForSubtree(this, [&](IKivFileNode* p) {
        IKivFileAttr* a = p->GetAttr();
        if (!a || (a->GetAttributes() & KIV_FA_DIRECTORY)) return;
        bool bSel = a->GetCheckState() == KIV_CHECK_FULL;
        bool bComp = a->GetAttributes() & KIV_FA_COMPRESSED;
        bool bEnc = a->GetAttributes() & KIV_FA_ENCRYPTED;
        ++s.nFiles;
        s.nSize += a->GetSize();
        s.nCompressed += bComp;
        s.nEncrypted += bEnc;
        if (bSel) {
            ++s.nSelFiles;
            s.nSelSize += a->GetSize();
            s.nSelCompressed += bComp;
            s.nSelEncrypted += bEnc;
        }
    });
    m_stats = s;
}

void CKivFsNode::RefreshChecks() {
    PropagateChecks(this);
    RecountStats();
}

void CKivFsNode::PropagateChecks(IKivFileNode* pDir) {
    if (!pDir || !IsDir(pDir)) return;
    // Post-order over the directories: children are settled before their parent.
    struct Item {
        IKivFileNode* p;
        bool bExpanded;
    };
    std::vector<Item> stack{{pDir, false}};
    while (!stack.empty()) {
        Item& top = stack.back();
        if (top.bExpanded) {
            DeriveFromChildren(top.p);
            stack.pop_back();
            continue;
        }
        top.bExpanded = true;
        IKivFileNode* p = top.p;  // top is invalidated by the pushes below
        for (IKivFileNode* c = p->GetFirstChild(); c; c = c->GetNextSibling())
            if (IsDir(c)) stack.push_back({c, false});
    }
}

void CKivFsNode::SetLabel(const char* pszLabel) {
    std::string s = pszLabel ? pszLabel : "";
    size_t nChars = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<uint8_t>(s[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (nChars == KIV_LABEL_MAX) break;
        ++nChars;
    }
    m_strLabel = s.substr(0, i);
}

int CKivFsNode::Save(IKivStream* pStream) {
    const uint32_t nZero = 0;
    const uint64_t nZero64 = 0;
    return WriteLE(pStream, m_stats.nFiles) && WriteLE(pStream, nZero) && WriteLE(pStream, m_stats.nSize) &&
           WriteLE(pStream, nZero64) && WriteLE(pStream, m_stats.nCompressed) && WriteLE(pStream, nZero) &&
           WriteLE(pStream, m_stats.nEncrypted) && WriteLE(pStream, nZero) && WriteLE(pStream, m_nBaseSector) &&
           WriteLE(pStream, m_nSecPerClus) && WriteLE(pStream, m_nFsType) &&
           WriteLE(pStream, static_cast<uint32_t>(m_strLabel.size())) &&
           pStream->Write(m_strLabel.data(), static_cast<uint32_t>(m_strLabel.size()));
}

int CKivFsNode::Load(IKivStream* pStream) {
    KivFsStats s{};
    uint32_t nLabel = 0;
    std::string label;
    if (!(ReadLE(pStream, &s.nFiles) && ReadLE(pStream, &s.nSelFiles) && ReadLE(pStream, &s.nSize) &&
          ReadLE(pStream, &s.nSelSize) && ReadLE(pStream, &s.nCompressed) && ReadLE(pStream, &s.nSelCompressed) &&
          ReadLE(pStream, &s.nEncrypted) && ReadLE(pStream, &s.nSelEncrypted) && ReadLE(pStream, &m_nBaseSector) &&
          ReadLE(pStream, &m_nSecPerClus) && ReadLE(pStream, &m_nFsType) && ReadLE(pStream, &nLabel) &&
          KivReadText(pStream, nLabel, kMaxLabelBytes, &label)))
        return 0;
    m_stats = s;
    SetLabel(label.c_str());
    return 1;
}
