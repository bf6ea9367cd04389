#include "CWinCheckImages.h"

#include "CWinSkin.h"

CWinCheckImages::~CWinCheckImages() {
    for (HIMAGELIST h : {m_hList, m_hListRows})
        if (h) ImageList_Destroy(h);
}

HIMAGELIST CWinCheckImages::Make(bool bNoneFirst, HIMAGELIST* pList) {
    const CWinSkin& skin = CWinSkin::Get();
    const int n = skin.S(16);
    int& nMade = bNoneFirst ? m_nSize : m_nSizeRows;
    if (*pList && n == nMade) return *pList;
    if (*pList) ImageList_Destroy(*pList);
    nMade = n;
    *pList = ImageList_Create(n, n, ILC_COLOR24, 4, 0);
    HDC hScreen = GetDC(nullptr);
    HDC hDC = CreateCompatibleDC(hScreen);
    for (int i = bNoneFirst ? 0 : 1; i < 4; ++i) {
        HBITMAP hBmp = CreateCompatibleBitmap(hScreen, n, n);
        HGDIOBJ hOld = SelectObject(hDC, hBmp);
        RECT r{0, 0, n, n};
        FillRect(hDC, &r, skin.BackBrush());
        if (i > 0) {
            // A box, a tick, or a filled square for "partly".
            const int m = n / 8, b = std::max(1, n / 16);
            RECT box{m, m, n - m, n - m};
            HBRUSH hEdge = CreateSolidBrush(i == 1 ? RGB(0x70, 0x78, 0x80) : skin.Accent());
            for (int k = 0; k < b; ++k) {
                RECT f = box;
                InflateRect(&f, -k, -k);
                FrameRect(hDC, &f, hEdge);
            }
            if (i == 2) {
                FillRect(hDC, &box, hEdge);
                HPEN hPen = CreatePen(PS_SOLID, std::max(2, n / 8), RGB(0xff, 0xff, 0xff));
                HGDIOBJ hOldPen = SelectObject(hDC, hPen);
                MoveToEx(hDC, box.left + (box.right - box.left) / 5, box.top + (box.bottom - box.top) / 2, nullptr);
                LineTo(hDC, box.left + (box.right - box.left) * 2 / 5, box.bottom - (box.bottom - box.top) / 4);
                LineTo(hDC, box.right - (box.right - box.left) / 5, box.top + (box.bottom - box.top) / 4);
                SelectObject(hDC, hOldPen);
                DeleteObject(hPen);
            } else if (i == 3) {
                RECT in = box;
                InflateRect(&in, -(n / 5), -(n / 5));
                FillRect(hDC, &in, hEdge);
            }
            DeleteObject(hEdge);
        }
        SelectObject(hDC, hOld);
        ImageList_Add(*pList, hBmp, nullptr);
        DeleteObject(hBmp);
    }
    DeleteDC(hDC);
    ReleaseDC(nullptr, hScreen);
    return *pList;
}
