#include "CKivNodeStateMgr.h"

#include <utility>
#include <vector>

#include "CKivUiNode.h"
#include "KivLog.h"

KivResult CKivNodeStateMgr::SetSelectState(CKivUiNode* pNode, uint8_t nState) {
    if (!pNode || nState > 1) return KIV_RETERR(KIV_E_INVALIDARG);
    uint8_t old = pNode->GetState();
    if (old == nState) return KIV_OK;  // 0 -> 0 and 1 -> 1 change nothing
    uint64_t nFiles = 0, nBytes = 0, nTicked = 0, nTickedBytes = 0;
    if (KivResult rc = RecurChildren(pNode, &nFiles, &nBytes, &nTicked, &nTickedBytes, nState); KivFailed(rc))
        return rc;
    if (pNode->IsFile()) {
        nFiles = 1;
        nBytes = pNode->GetSize();
    }
    int64_t nCount = m_nCount;
    uint64_t nSum = m_nBytes;
    if (old == CKivUiNode::STATE_NONE) {
        nCount += static_cast<int64_t>(nFiles);
        nSum += nBytes;
    } else if (old == CKivUiNode::STATE_TICKED) {
        nCount -= static_cast<int64_t>(nFiles);
        nSum -= nBytes;
    } else {
        if (nFiles < nTicked || nBytes < nTickedBytes) return KIV_RETERR(KIV_E_STATE);
        if (nState == CKivUiNode::STATE_TICKED) {
            nCount += static_cast<int64_t>(nFiles - nTicked);
            nSum += nBytes - nTickedBytes;
        } else {
            nCount -= static_cast<int64_t>(nTicked);
            nSum -= nTickedBytes;
        }
    }
    if (KivResult rc = RecurParent(pNode, nState); KivFailed(rc)) return rc;
    m_nCount = static_cast<int32_t>(nCount);
    m_nBytes = nSum;
    pNode->SetState(nState);
    return KIV_OK;
}

KivResult CKivNodeStateMgr::RecurChildren(CKivUiNode* pNode, uint64_t* pFiles, uint64_t* pBytes,
                                          uint64_t* pTickedFiles, uint64_t* pTickedBytes, uint8_t nState) {
    if (!pNode || !pFiles || !pBytes || !pTickedFiles || !pTickedBytes) return KIV_RETERR(KIV_E_INVALIDARG);
    *pFiles = *pBytes = *pTickedFiles = *pTickedBytes = 0;
    if (pNode->IsFile()) return KIV_OK;
    // Depth first without recursion: a million files in deep folders is an ordinary result.
    std::vector<CKivUiNode*> pending{pNode};
    while (!pending.empty()) {
        CKivUiNode* p = pending.back();
        pending.pop_back();
        for (CKivUiNode* c : p->GetChildren()) {
            if (!c) return KIV_RETERR(KIV_E_STATE);
            if (!c->IsFile()) {
                pending.push_back(c);
            } else {
                uint64_t n = c->GetSize();
                ++*pFiles;
                *pBytes += n;
                if (c->GetState() != CKivUiNode::STATE_NONE) {
                    ++*pTickedFiles;
                    *pTickedBytes += n;
                }
            }
            c->SetState(nState);
        }
    }
    return KIV_OK;
}

KivResult CKivNodeStateMgr::RecurParent(CKivUiNode* pNode, uint8_t nState) {
    if (!pNode) return KIV_RETERR(KIV_E_INVALIDARG);
    // Work out the new state of each ancestor first, then set them: every test reads the states
    // as they were before this change, as a recursion that sets on the way back would.
    std::vector<std::pair<CKivUiNode*, uint8_t>> changes;
    CKivUiNode* node = pNode;
    uint8_t s = nState;
    for (;;) {
        CKivUiNode* p = node->GetParent();
        if (!p || node->GetState() == s || p->GetState() == s) break;
        uint8_t t;
        if (s == CKivUiNode::STATE_PART) {
            t = CKivUiNode::STATE_PART;
        } else if (p->GetState() == CKivUiNode::STATE_NONE || p->GetState() == CKivUiNode::STATE_TICKED) {
            t = p->GetChildren().size() == 1 ? s : static_cast<uint8_t>(CKivUiNode::STATE_PART);
        } else {
            bool bStop = false;
            for (CKivUiNode* c : p->GetChildren()) {
                if (!c || c == node) continue;
                if (c->GetState() == CKivUiNode::STATE_PART || c->GetState() != s) {
                    bStop = true;
                    break;
                }
            }
            if (bStop) break;
            t = s;
        }
        changes.emplace_back(p, t);
        node = p;
        s = t;
    }
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) it->first->SetState(it->second);
    return KIV_OK;
}

KivResult CKivNodeStateMgr::GetTotals(int64_t* pCount, uint64_t* pBytes) const {
    if (pCount) *pCount = m_nCount;
    if (pBytes) *pBytes = m_nBytes;
    return KIV_OK;
}

void CKivNodeStateMgr::Reset() {
    m_nCount = 0;
    m_nBytes = 0;
}
