// The tree links and operations shared by file nodes and fs nodes (TBase is IKivFileNode or
// IKivFsNode). A parent holds one reference on each child; destroying a node releases its subtree
// without recursion, so a deep tree cannot exhaust the stack.
#pragma once

#include "KivScanResult.h"

template <class TBase>
class CKivNodeImpl : public TBase {
public:
    CKivNodeImpl() = default;
    explicit CKivNodeImpl(IKivFileAttr* pAttr) : m_pAttr(pAttr) {}
    ~CKivNodeImpl() override;

    IKivFileAttr* GetAttr() override { return m_pAttr; }
    void SetAttr(IKivFileAttr* pAttr) override;  // deletes the previous one
    uint32_t GetUserData() override { return m_nUserData; }
    void SetUserData(uint32_t nValue) override { m_nUserData = nValue; }
    void SetNextSibling(IKivFileNode* pNode) override { m_pNext = pNode; }
    void SetParent(IKivFileNode* pNode) override { m_pParent = pNode; }
    IKivFileNode* GetParent() override { return m_pParent; }
    IKivFileNode* GetFirstChild() override { return m_pFirstChild; }
    IKivFileNode* GetNextSibling() override { return m_pNext; }
    // Puts the child in front of the others and takes the caller's reference. Answers 0 (taking
    // nothing) for null, for this node, or for a node that already has a parent.
    int AddChild(IKivFileNode* pChild) override;
    // Answers 1 and hands the tree's reference to the caller, or 0 when pChild is not a child.
    int RemoveChild(IKivFileNode* pChild) override;
    int IsFsNode() override { return 0; }
    int GetPartInfo(uint64_t* pBaseSector, uint32_t* pSecPerClus) override;
    int32_t GetFsType() override;
    int Save(IKivStream*) override { return 0; }
    int Load(IKivStream*) override { return 0; }

protected:
    IKivFileAttr* m_pAttr = nullptr;
    IKivFileNode* m_pParent = nullptr;
    IKivFileNode* m_pFirstChild = nullptr;
    IKivFileNode* m_pNext = nullptr;
    uint32_t m_nUserData = 0;
};

// The nearest fs node at or above pNode (bounded walk), or null.
IKivFsNode* KivFindFsNodeUp(IKivFileNode* pNode);

extern template class CKivNodeImpl<IKivFileNode>;
extern template class CKivNodeImpl<IKivFsNode>;
