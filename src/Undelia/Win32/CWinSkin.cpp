#include "CWinSkin.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "CKivUiConfig.h"
#include "KivUiTexts.h"
#include "platform/KivText.h"

std::wstring KivW(const std::string& s) { return KivUtf8ToWide(s); }
std::string KivU(const std::wstring& s) { return KivWideToUtf8(s); }

CWinSkin& CWinSkin::Get() {
    static CWinSkin s_skin;
    return s_skin;
}

CWinSkin::CWinSkin() {
    // "#rrggbb" of the skin's accent.
    std::string accent = CKivUiConfig::Get().GetText("UIMain", "Accent");
    if (accent.size() == 7 && accent[0] == '#') {
        unsigned long v = std::strtoul(accent.c_str() + 1, nullptr, 16);
        m_accent = RGB((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff);
    }
    m_hBack = CreateSolidBrush(Back());
    m_hAccent = CreateSolidBrush(m_accent);
    MakeFonts();
}

void CWinSkin::RegisterSkinnedClass(const wchar_t* pszClass, WNDPROC pfn) const {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), pszClass, &wc)) return;
    wc.lpfnWndProc = pfn;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = m_hBack;
    wc.lpszClassName = pszClass;
    RegisterClassExW(&wc);
}

bool CWinSkin::IsLoaded() const {
    const CKivUiConfig& c = CKivUiConfig::Get();
    return c.GetInt("MainFrame", "Weight", 0) > 0 && c.GetInt("MainFrame", "High", 0) > 0;
}

void CWinSkin::SetDpi(UINT nDpi) {
    if (nDpi == 0 || nDpi == m_nDpi) return;
    m_nDpi = nDpi;
    MakeFonts();
}

void CWinSkin::MakeFonts() {
    for (HFONT h : {m_hFont, m_hBold, m_hTitle, m_hSmall})
        if (h) DeleteObject(h);
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    LOGFONTW lf = ncm.lfMessageFont;
    auto make = [&](int nPt, int nWeight) {
        LOGFONTW f = lf;
        f.lfHeight = -MulDiv(nPt, static_cast<int>(m_nDpi), 72);
        f.lfWeight = nWeight;
        f.lfQuality = CLEARTYPE_QUALITY;
        return CreateFontIndirectW(&f);
    };
    m_hFont = make(9, FW_NORMAL);
    m_hBold = make(10, FW_BOLD);
    m_hTitle = make(14, FW_SEMIBOLD);
    m_hSmall = make(8, FW_NORMAL);
}

std::wstring CWinSkin::Text(const char* pszSection, const char* pszKey, const wchar_t* pszDefault) const {
    std::string s = CKivUiConfig::Get().GetText(pszSection, pszKey);
    if (s.empty()) return pszDefault ? pszDefault : L"";
    std::wstring w = KivW(s);
    // The ini's line breaks come as "\n"; static controls want "\r\n".
    std::wstring out;
    for (wchar_t c : w) {
        if (c == L'\n' && (out.empty() || out.back() != L'\r')) out += L'\r';
        out += c;
    }
    return out;
}

std::vector<std::wstring> CWinSkin::List(const char* pszSection, const char* pszKey) const {
    std::vector<std::wstring> out;
    std::wstring s = Text(pszSection, pszKey);
    size_t from = 0;
    while (!s.empty()) {
        size_t at = s.find(L'|', from);
        out.push_back(s.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
        if (at == std::wstring::npos) break;
        from = at + 1;
    }
    return out;
}

int CWinSkin::Int(const char* pszSection, const char* pszKey, int nDefault) const {
    return static_cast<int>(CKivUiConfig::Get().GetInt(pszSection, pszKey, nDefault));
}

RECT CWinSkin::Rect(const char* pszSection, const char* pszKey, const RECT& def) const {
    int32_t r[4];
    if (!CKivUiConfig::Get().GetRect(pszSection, pszKey, r) || r[2] < r[0] || r[3] < r[1])
        return {S(def.left), S(def.top), S(def.left + def.right), S(def.top + def.bottom)};
    return {S(r[0]), S(r[1]), S(r[2]), S(r[3])};
}

SIZE CWinSkin::Size(const char* pszSection, const char* pszKey, SIZE def) const {
    std::string s = CKivUiConfig::Get().GetText(pszSection, pszKey);
    int w = 0, h = 0;
    if (std::sscanf(s.c_str(), "%d , %d", &w, &h) != 2 || w <= 0 || h <= 0) {
        w = def.cx;
        h = def.cy;
    }
    return {S(w), S(h)};
}

SIZE CWinSkin::WindowSize() const {
    int w = Int("MainFrame", "Weight", 0), h = Int("MainFrame", "High", 0);
    if (w <= 0 || h <= 0) w = 960, h = 640;
    return {S(w), S(h)};
}

RECT CWinSkin::PanelArea() const {
    const int w = Int("MainFrame", "Weight", 960), h = Int("MainFrame", "High", 640);
    const int cap = Int("MainFrame", "CaptionHeight", 48);
    return Rect("MainFrame", "PanelArea", {0, cap, w, h - cap});
}

std::wstring CWinSkin::Hint(const char* pszSection, const char* pszKey) { return KivW(KivHintText(pszSection, pszKey)); }

std::wstring CWinSkin::HintArg(const char* pszSection, const char* pszKey, const std::wstring& strArg) {
    return KivW(KivHintFormat(pszSection, pszKey, KivU(strArg)));
}

std::wstring CWinSkin::ErrorText(KivResult nCode) { return KivW(KivErrorText(nCode)); }

std::wstring CWinSkin::Fill(std::wstring text, const std::vector<std::wstring>& args) {
    size_t from = 0;
    for (const std::wstring& a : args) {
        size_t at = text.find(L"%s", from);
        if (at == std::wstring::npos) break;
        text.replace(at, 2, a);
        from = at + a.size();
    }
    return text;
}
