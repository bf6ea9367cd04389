// The skin as the Windows program draws it: the same res\res.ini (through the core's
// CKivUiConfig) the Linux program reads, its rectangles scaled from 96 dpi to the monitor's,
// the fonts and colours of that scale, and the texts of the ini files as UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "KivCommon.h"

class CWinSkin {
public:
    static CWinSkin& Get();

    bool IsLoaded() const;
    // The monitor's dots per inch (96 is 100 %); fonts are made anew for it.
    void SetDpi(UINT nDpi);
    UINT Dpi() const { return m_nDpi; }
    int S(int n) const { return MulDiv(n, static_cast<int>(m_nDpi), 96); }

    std::wstring Text(const char* pszSection, const char* pszKey, const wchar_t* pszDefault = L"") const;
    std::vector<std::wstring> List(const char* pszSection, const char* pszKey) const;
    int Int(const char* pszSection, const char* pszKey, int nDefault) const;
    // Left, top, right, bottom at the current scale; def (96 dpi, left/top/width/height) when missing.
    RECT Rect(const char* pszSection, const char* pszKey, const RECT& def = {0, 0, 0, 0}) const;
    // "width,height" at the current scale.
    SIZE Size(const char* pszSection, const char* pszKey, SIZE def) const;
    SIZE WindowSize() const;
    RECT PanelArea() const;
    int CaptionHeight() const { return S(Int("MainFrame", "CaptionHeight", 48)); }

    HFONT Font() const { return m_hFont; }
    HFONT BoldFont() const { return m_hBold; }
    HFONT TitleFont() const { return m_hTitle; }
    HFONT SmallFont() const { return m_hSmall; }
    COLORREF Accent() const { return m_accent; }
    COLORREF Back() const { return RGB(0xff, 0xff, 0xff); }
    COLORREF Muted() const { return RGB(0x55, 0x5d, 0x66); }
    HBRUSH BackBrush() const { return m_hBack; }
    HBRUSH AccentBrush() const { return m_hAccent; }
    // Registers a window class on the skin's background, once per process.
    void RegisterSkinnedClass(const wchar_t* pszClass, WNDPROC pfn) const;

    // The texts of "KivHintStr.ini" and "KivErrStr.ini".
    static std::wstring Hint(const char* pszSection, const char* pszKey);
    static std::wstring HintArg(const char* pszSection, const char* pszKey, const std::wstring& strArg);
    static std::wstring ErrorText(KivResult nCode);
    // "%s" filled in order.
    static std::wstring Fill(std::wstring text, const std::vector<std::wstring>& args);

private:
    CWinSkin();
    void MakeFonts();

    UINT m_nDpi = 96;
    HFONT m_hFont = nullptr, m_hBold = nullptr, m_hTitle = nullptr, m_hSmall = nullptr;
    COLORREF m_accent = RGB(0x2f, 0x6f, 0xb2);
    HBRUSH m_hBack = nullptr, m_hAccent = nullptr;
};

// UTF-8 and UTF-16 as the core and the window calls take them.
std::wstring KivW(const std::string& s);
std::string KivU(const std::wstring& s);
