// The final panel: what the recovery wrote, and the way to the recovered files; Next starts over.
#pragma once

#include <string>

#include "CWinPanel.h"

struct KivRecoverSummary;

class CWinPanelFinal : public CWinPanel {
public:
    CWinPanelFinal();
    void SetResult(const KivRecoverSummary& sum, size_t nProblems);
    void OnEnter() override;

protected:
    void OnCreate() override;
    LRESULT OnCommand(int nId, int nCode, HWND hCtl) override;

private:
    HWND m_hSummary = nullptr, m_hOpen = nullptr;
    std::wstring m_strFolder;
};
