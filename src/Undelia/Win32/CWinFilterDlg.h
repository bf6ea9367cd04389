// The filter dialog of the results panel: a name key, one size test and one date test, made
// into the core's CKivResultFilter.
#pragma once

#include "CKivResultFilter.h"
#include "CWinModal.h"

class CWinFilterDlg : public CWinModal {
public:
    explicit CWinFilterDlg(HWND hOwner) : CWinModal(hOwner) {}
    // Modal; true with the filter applied.
    bool Run();
    const CKivResultFilter& Filter() const { return m_filter; }

protected:
    void OnInit() override;
    void OnCommand(int nId, int nCode) override;

private:
    void EnableTests();
    bool Checked(int nId) const { return IsDlgButtonChecked(m_hWnd, nId) == BST_CHECKED; }
    int Choice(int nId) const;
    uint64_t FileTimeOf(int nId) const;

    CKivResultFilter m_filter;
};
