#include "CKivNodeSorter.h"

#include <algorithm>
#include <vector>

#include "platform/KivText.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
int Cmp(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

void SortLevel(CKivUiNode* pNode, CKivNodeSorter::Key key, bool bDescending) {
    if (pNode->IsFile() || !pNode->HasChildren()) return;
    std::vector<CKivUiNode*> kids = pNode->GetChildren();
    std::stable_sort(kids.begin(), kids.end(), [&](const CKivUiNode* a, const CKivUiNode* b) {
        // Folders stay before files whichever way the files go.
        if (a->IsFile() != b->IsFile()) return !a->IsFile();
        int c = CKivNodeSorter::Compare(a, b, key);
        return bDescending ? c > 0 : c < 0;
    });
    pNode->SetChildren(std::move(kids));
    for (CKivUiNode* c : pNode->GetChildren()) SortLevel(c, key, bDescending);
}

}  // namespace

int CKivNodeSorter::CompareNames(const char* a, const char* b) {
    while (*a && *b) {
        if (IsDigit(*a) && IsDigit(*b)) {
            // Numbers by value: leading zeros skipped, then the longer run is the larger.
            while (*a == '0') ++a;
            while (*b == '0') ++b;
            const char* ea = a;
            const char* eb = b;
            while (IsDigit(*ea)) ++ea;
            while (IsDigit(*eb)) ++eb;
            if (ea - a != eb - b) return ea - a < eb - b ? -1 : 1;
            for (; a < ea; ++a, ++b)
                if (*a != *b) return *a < *b ? -1 : 1;
            continue;
        }
        int la = KivAsciiLower(*a), lb = KivAsciiLower(*b);
        if (la != lb) return la < lb ? -1 : 1;
        ++a, ++b;
    }
    return *a ? 1 : *b ? -1 : 0;
}

int CKivNodeSorter::StateRank(const CKivUiNode* p) {
    if (p->IsCarved()) return 3;
    uint8_t s = p->GetRecordState();
    if (s & KIV_REC_DELETED) return 2;
    return (s & KIV_REC_DAMAGED) ? 1 : 0;
}

int CKivNodeSorter::Compare(const CKivUiNode* a, const CKivUiNode* b, Key key) {
    int c = 0;
    if (a->IsFile() && b->IsFile()) {
        switch (key) {
            case BY_SIZE: c = Cmp(a->GetSize(), b->GetSize()); break;
            case BY_MODIFIED: c = Cmp(a->GetModificationTime(), b->GetModificationTime()); break;
            case BY_CREATED: c = Cmp(a->GetCreationTime(), b->GetCreationTime()); break;
            case BY_STATE: c = Cmp(StateRank(a), StateRank(b)); break;
            case BY_FOLDER: c = CompareNames(a->GetPath().c_str(), b->GetPath().c_str()); break;
            default: break;
        }
    }
    return c ? c : CompareNames(a->GetName(), b->GetName());
}

void CKivNodeSorter::Sort(CKivUiNode* pRoot, Key key, bool bDescending) {
    if (pRoot) SortLevel(pRoot, key, bDescending);
}
