// The device panel: the disks (whole-disk mode) or the partitions and volumes of the back-stage's
// device lists, image files the user adds listed as disks, and why a disk could not be listed.
#pragma once

#include <string>
#include <vector>

#include "CWinPanel.h"

class CWinPanelEnumDev : public CWinPanel {
public:
    CWinPanelEnumDev();
    void OnEnter() override;
    bool OnNext() override;
    void Layout(const RECT& rcArea) override;
    // Lists an image file as a disk and selects it (or its first partition); false with the reason
    // shown when it cannot be read.
    bool AddImage(const std::wstring& strPath);
    // Image files named on the command line: listed from the first time the panel is entered.
    void PreAddImages(const std::vector<std::wstring>& paths);
    // The disk a start with full rights was asked to scan: selected when the list is filled.
    void PickOnEnter(const std::string& strDevice) { m_strPick = strDevice; }

protected:
    void OnCreate() override;
    LRESULT OnCommand(int nId, int nCode, HWND hCtl) override;
    LRESULT OnNotify(NMHDR* pHdr) override;
    LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void Fill(bool bRefresh);
    std::wstring CellText(int nRow, int nCol) const;

    HWND m_hList = nullptr, m_hInfo = nullptr;
    std::vector<std::string> m_imagePaths;
    std::vector<std::string> m_needRights;  // disks listed that only full rights would open
    std::string m_strPick;
};
