// The state pictures of the tri-state check boxes of the trees and lists: state image 1 unticked,
// 2 ticked, 3 partly ticked, drawn for the current scale. A tree counts its pictures from 0 (the
// first one stands for "none"), a list from 1: each has its own.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>

class CWinCheckImages {
public:
    CWinCheckImages() = default;
    ~CWinCheckImages();
    CWinCheckImages(const CWinCheckImages&) = delete;
    CWinCheckImages& operator=(const CWinCheckImages&) = delete;

    // Made anew when the scale changed.
    HIMAGELIST Get() { return Make(true, &m_hList); }
    HIMAGELIST GetForList() { return Make(false, &m_hListRows); }
    // The state image of a node's tick state (0 none, 1 ticked, 2 partly).
    static UINT ImageOf(uint8_t nState) { return nState == 1 ? 2 : nState == 2 ? 3 : 1; }

private:
    HIMAGELIST Make(bool bNoneFirst, HIMAGELIST* pList);
    HIMAGELIST m_hList = nullptr, m_hListRows = nullptr;
    int m_nSize = 0, m_nSizeRows = 0;
};
