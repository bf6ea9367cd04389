// The base of the wizard's panels: a child window filling the panel area with a caption, a step
// bar and Back and Next buttons, its controls placed by the skin's rectangles at the monitor's
// scale (and placed anew when the scale changes). Back and Next go to the main window, which
// walks the ring of panels.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CWinPanel {
public:
    CWinPanel(const char* pszSection, int nStep);
    virtual ~CWinPanel();
    CWinPanel(const CWinPanel&) = delete;
    CWinPanel& operator=(const CWinPanel&) = delete;

    bool Create(HWND hMain, const RECT& rcArea);
    HWND Hwnd() const { return m_hWnd; }
    HWND Main() const { return m_hMain; }
    const char* Section() const { return m_pszSection; }

    // The ring (CWinPanelMgr links it).
    void SetMgr(class CWinPanelMgr* p) { m_pMgr = p; }
    // Makes this panel the one shown (after an opened scan, say).
    void ShowSelf();
    void SetPrev(CWinPanel* p) { m_pPrev = p; }
    void SetNext(CWinPanel* p) { m_pNext = p; }
    CWinPanel* GetPrev() const { return m_pPrev; }
    CWinPanel* GetNext() const { return m_pNext; }

    // Entering the panel; leaving it forward (false stays) and back.
    virtual void OnEnter() {}
    virtual bool OnNext() { return true; }
    virtual bool OnBack() { return true; }
    // Places every control for the current scale and area.
    virtual void Layout(const RECT& rcArea);

    void SetCaption(const std::wstring& strText);
    std::wstring Caption() const;

protected:
    virtual void OnCreate() {}
    virtual LRESULT OnCommand(int nId, int nCode, HWND hCtl);
    virtual LRESULT OnNotify(NMHDR* pHdr) { return 0; }
    virtual LRESULT HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);

    // A control of the panel, in the skin's font, placed at section/key (def at 96 dpi as left,
    // top, width, height when the skin has none).
    HWND AddControl(const wchar_t* pszClass, const std::wstring& strText, DWORD nStyle, int nId, const char* pszSection,
                    const char* pszKey, RECT def, DWORD nExStyle = 0);
    HWND AddButton(int nId, const char* pszKey, const wchar_t* pszDefault, RECT def = {0, 0, 110, 32});
    // Another skin entry for the Next button ("BtnRecover", "BtnStartOver").
    void SetNextEntry(const char* pszKey);
    void HideBackNext(bool bBack, bool bNext);
    HWND BackButton() const { return m_hBack; }
    HWND NextButton() const { return m_hNext; }
    void RequestNext();
    void PaintStepBar(HDC hDC);

    const char* m_pszSection;
    int m_nStep;
    HWND m_hWnd = nullptr;
    HWND m_hMain = nullptr;
    HWND m_hTitle = nullptr, m_hBack = nullptr, m_hNext = nullptr;

private:
    struct Placed {
        HWND hWnd;
        const char* pszSection;
        const char* pszKey;
        RECT def;
    };
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    std::vector<Placed> m_placed;
    const char* m_pszNextKey = "NextBtn";
    class CWinPanelMgr* m_pMgr = nullptr;
    CWinPanel* m_pPrev = nullptr;
    CWinPanel* m_pNext = nullptr;
};
