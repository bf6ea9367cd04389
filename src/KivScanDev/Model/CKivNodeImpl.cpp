#include "CKivNodeImpl.h"

#include <vector>

namespace {
// Longest parent chain followed; a longer one can only be a corrupt tree.
constexpr uint32_t kMaxDepth = 1u << 22;
}  // namespace

IKivFsNode* KivFindFsNodeUp(IKivFileNode* pNode) {
    for (uint32_t i = 0; pNode && i < kMaxDepth; ++i, pNode = pNode->GetParent())
        if (pNode->IsFsNode()) return static_cast<IKivFsNode*>(pNode);
    return nullptr;
}

template <class TBase>
CKivNodeImpl<TBase>::~CKivNodeImpl() {
    delete m_pAttr;
    std::vector<IKivFileNode*> pending;
    for (IKivFileNode* p = m_pFirstChild; p;) {
        IKivFileNode* pNext = p->GetNextSibling();
        p->SetParent(nullptr);
        p->SetNextSibling(nullptr);
        pending.push_back(p);
        p = pNext;
    }
    m_pFirstChild = nullptr;
    // A child we hold the only reference on gives up its children before it dies, so every
    // destructor below this one finds no children and the depth of the tree never becomes depth
    // of the stack.
    while (!pending.empty()) {
        IKivFileNode* p = pending.back();
        pending.pop_back();
        if (p->AddRef() == 2) {
            while (IKivFileNode* c = p->GetFirstChild()) {
                p->RemoveChild(c);
                pending.push_back(c);
            }
        }
        p->Release();
        p->Release();
    }
}

template <class TBase>
void CKivNodeImpl<TBase>::SetAttr(IKivFileAttr* pAttr) {
    if (pAttr == m_pAttr) return;
    delete m_pAttr;
    m_pAttr = pAttr;
}

template <class TBase>
int CKivNodeImpl<TBase>::AddChild(IKivFileNode* pChild) {
    if (!pChild || pChild == this || pChild->GetParent()) return 0;
    // Only a node with children can be an ancestor of this one; refuse to close a loop.
    if (pChild->GetFirstChild()) {
        uint32_t i = 0;
        for (IKivFileNode* p = m_pParent; p; p = p->GetParent())
            if (p == pChild || ++i > kMaxDepth) return 0;
    }
    pChild->SetParent(this);
    pChild->SetNextSibling(m_pFirstChild);
    m_pFirstChild = pChild;
    return 1;
}

template <class TBase>
int CKivNodeImpl<TBase>::RemoveChild(IKivFileNode* pChild) {
    if (!pChild) return 0;
    IKivFileNode* pPrev = nullptr;
    for (IKivFileNode* p = m_pFirstChild; p; pPrev = p, p = p->GetNextSibling()) {
        if (p != pChild) continue;
        if (pPrev)
            pPrev->SetNextSibling(p->GetNextSibling());
        else
            m_pFirstChild = p->GetNextSibling();
        p->SetParent(nullptr);
        p->SetNextSibling(nullptr);
        return 1;
    }
    return 0;
}

template <class TBase>
int CKivNodeImpl<TBase>::GetPartInfo(uint64_t* pBaseSector, uint32_t* pSecPerClus) {
    // A carved file's run counts sectors of the device from its start, whichever partition's
    // free space it is listed under: that partition's data start and cluster size do not apply.
    if (m_pAttr && m_pAttr->GetAttrKind() == KIV_ATTR_RAW) {
        if (pBaseSector) *pBaseSector = 0;
        if (pSecPerClus) *pSecPerClus = 1;
        return 1;
    }
    if (IKivFsNode* pFs = KivFindFsNodeUp(m_pParent)) return pFs->GetPartInfo(pBaseSector, pSecPerClus);
    if (pBaseSector) *pBaseSector = 0;
    if (pSecPerClus) *pSecPerClus = 0;
    return 0;
}

template <class TBase>
int32_t CKivNodeImpl<TBase>::GetFsType() {
    IKivFsNode* pFs = KivFindFsNodeUp(m_pParent);
    return pFs ? pFs->GetFsType() : KIV_FS_NONE;
}

template class CKivNodeImpl<IKivFileNode>;
template class CKivNodeImpl<IKivFsNode>;
