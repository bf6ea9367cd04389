// The modal progress window of the scan, the build of the results and the recovery: a line of
// what is done, one or two bars, three lines of figures and a Stop button. The core calls it from
// the engine's threads; those calls are posted to the window's thread, which the core keeps
// pumping while it waits.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "IKivUiSink.h"

class CWinProgressDlg : public IKivProgressSink {
public:
    enum Kind { KIND_SCAN, KIND_BUILD, KIND_RECOVER };
    CWinProgressDlg(Kind nKind, HWND hOwner, const std::wstring& strWhat = L"");
    ~CWinProgressDlg() override;

    // Shows the window and disables its owner; End undoes both.
    void Begin();
    void End();
    HWND Hwnd() const { return m_hWnd; }

    void OnScanProgress(const KivScanProgress& p) override;
    void OnBuildPhase(const std::string& strText, uint64_t nTotal) override;
    void OnBuildProgress(uint64_t nValue, uint64_t nTotal) override;
    void OnViewsStart() override;
    void OnRecoverProgress(const KivRecoverProgress& p) override;
    void OnRecoverDamaged(const std::string& strPath, const std::string& strReason) override;
    void OnRecoverFailed(const std::string& strPath, const std::string& strReason) override;
    bool IsStopRequested() override { return m_bStop.load(); }

    // What the recovery reported, in its order (any thread may have added to them).
    std::vector<std::string> Damaged() const;
    std::vector<std::string> Failed() const;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    void Post(std::function<void()> fn);
    void Set(int nId, const std::wstring& strText);
    void OnStop();
    void Layout();

    Kind m_nKind;
    HWND m_hOwner;
    std::wstring m_strWhat;
    const char* m_pszSection;
    HWND m_hWnd = nullptr;
    std::atomic<bool> m_bStop{false};
    bool m_bAsking = false;
    mutable std::mutex m_mtx;
    std::vector<std::string> m_damaged, m_failed;
};
