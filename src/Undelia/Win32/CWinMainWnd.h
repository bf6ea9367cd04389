// The main window: the skin's size at the monitor's scale, a caption bar of its own (product
// name, options menu, minimise, close), the panel area with the five panels in their ring, and
// the question before closing. Enter is Next and Esc is Back, wherever the focus is.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "CWinPanelMgr.h"

class CWinPanel;
class CWinPanelHome;
class CWinPanelEnumDev;
class CWinPanelFileType;
class CWinPanelFileRes;
class CWinPanelFinal;

class CWinMainWnd {
public:
    CWinMainWnd();
    ~CWinMainWnd();

    // Image files to list among the disks (the command line's).
    // strScanDevice: the disk a start with full rights was asked to scan (the device page opens on it).
    bool Create(int nShow, const std::vector<std::wstring>& images = {}, const std::string& strScanDevice = {});
    HWND Hwnd() const { return m_hWnd; }
    CWinPanelMgr* Mgr() const { return m_pMgr.get(); }
    // The exit question; true when the window is closing.
    bool ExitCheck();

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    void BuildCaptionBar();
    void LayoutAll();
    void PaintCaption(HDC hDC);
    void DrawCaptionButton(const DRAWITEMSTRUCT* pDis);
    void OnCommand(int nId, int nCode, HWND hCtl);
    void ShowOptions();

    HWND m_hWnd = nullptr;
    HICON m_hIconBig = nullptr, m_hIconSmall = nullptr;
    HWND m_hOption = nullptr, m_hMin = nullptr, m_hClose = nullptr;
    std::unique_ptr<CWinPanelMgr> m_pMgr;
    std::unique_ptr<CWinPanelHome> m_pHome;
    std::unique_ptr<CWinPanelEnumDev> m_pEnumDev;
    std::unique_ptr<CWinPanelFileType> m_pFileType;
    std::unique_ptr<CWinPanelFileRes> m_pFileRes;
    std::unique_ptr<CWinPanelFinal> m_pFinal;
    bool m_bClosing = false;
};
