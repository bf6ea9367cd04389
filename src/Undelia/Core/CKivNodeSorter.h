// Orders a display tree by the column the user picked (name, size, dates, state or folder), at
// every level: folders first, by name; files by the key, then by name. Names compare without
// regard to case and with numbers by value, so "2-500" comes before "1001-1500".
#pragma once

#include "CKivUiNode.h"

class CKivNodeSorter {
public:
    enum Key { BY_NAME = 0, BY_SIZE, BY_MODIFIED, BY_CREATED, BY_STATE, BY_FOLDER };

    static void Sort(CKivUiNode* pRoot, Key key, bool bDescending);
    // <0, 0, >0 as a comes before, with, or after b in ascending order.
    static int Compare(const CKivUiNode* a, const CKivUiNode* b, Key key);
    static int CompareNames(const char* a, const char* b);
    // The order of states: on the volume, damaged, deleted, found by content.
    static int StateRank(const CKivUiNode* p);
};
