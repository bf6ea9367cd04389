#include "KivTreeTidy.h"

#include <vector>

void KivRemoveEmptyDeletedDirs(IKivFileNode* pRoot) {
    if (!pRoot) return;
    // Breadth-first order, then handled from the deepest level up.
    std::vector<IKivFileNode*> order{pRoot};
    for (size_t i = 0; i < order.size(); ++i)
        for (IKivFileNode* c = order[i]->GetFirstChild(); c; c = c->GetNextSibling())
            if (c->GetFirstChild() || (c->GetAttr() && (c->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY)))
                order.push_back(c);
    for (size_t i = order.size(); i-- > 1;) {
        IKivFileNode* c = order[i];
        IKivFileAttr* a = c->GetAttr();
        bool bDir = a && (a->GetAttributes() & KIV_FA_DIRECTORY);
        if (bDir && (a->GetRecordState() & KIV_REC_DELETED) && !c->GetFirstChild()) {
            if (c->GetParent()->RemoveChild(c)) c->Release();
        }
    }
}
