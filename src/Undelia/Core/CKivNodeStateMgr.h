// Ticks on a display tree: a tick or untick goes down to every descendant and up through the
// ancestors as a three-state value (unticked, ticked, partly ticked), and the running totals of
// ticked files and bytes follow. One manager per view; no lock (the user-interface thread calls).
#pragma once

#include <cstdint>

#include "KivCommon.h"

class CKivUiNode;

class CKivNodeStateMgr {
public:
    // 0x002 for a null node or a state other than 0 and 1; 0x003 when a partly ticked node's
    // counts are below what it had ticked (the totals and its state then stay as they were).
    KivResult SetSelectState(CKivUiNode* pNode, uint8_t nState);
    // Counts the files below the node and those ticked before the change, and gives every
    // descendant the new state. 0x003 for a null child.
    KivResult RecurChildren(CKivUiNode* pNode, uint64_t* pFiles, uint64_t* pBytes, uint64_t* pTickedFiles,
                            uint64_t* pTickedBytes, uint8_t nState);
    // Recomputes the ancestors' states after the node takes the new state.
    KivResult RecurParent(CKivUiNode* pNode, uint8_t nState);

    KivResult GetTotals(int64_t* pCount, uint64_t* pBytes) const;
    void Reset();

private:
    int32_t m_nCount = 0;
    uint64_t m_nBytes = 0;
};
