#include "CWinFilterDlg.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "CWinSkin.h"
#include "KivWinIds.h"

namespace {

std::vector<std::wstring> ListOr(const char* pszKey, std::vector<std::wstring> def) {
    std::vector<std::wstring> v = CWinSkin::Get().List("DlgFilter", pszKey);
    return v.empty() ? def : v;
}

}  // namespace

bool CWinFilterDlg::Run() {
    const CWinSkin& skin = CWinSkin::Get();
    return CWinModal::Run(skin.Text("DlgFilter", "Title", L"Filter the results"), {S(480), S(280)});
}

int CWinFilterDlg::Choice(int nId) const {
    return static_cast<int>(SendDlgItemMessageW(m_hWnd, nId, CB_GETCURSEL, 0, 0));
}

void CWinFilterDlg::OnInit() {
    const CWinSkin& skin = CWinSkin::Get();
    const int m = S(20), row = S(40), h = S(26), lw = S(110), cw = S(480) - 2 * m - lw;
    auto combo = [&](int nId, int x, int y, int w, const std::vector<std::wstring>& items, int nSel) {
        HWND hCombo = Add(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, nId, x, y, w, S(160));
        for (const std::wstring& s : items) SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
        SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(nSel), 0);
    };
    int y = m;
    Add(L"STATIC", skin.Text("DlgFilter", "TxtKey", L"Name contains:"), SS_LEFT | SS_CENTERIMAGE, -1, m, y, lw, h);
    Add(L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, IDC_FLT_KEY, m + lw, y, cw, h, WS_EX_CLIENTEDGE);
    y += row;
    Add(L"BUTTON", skin.Text("DlgFilter", "TxtSize", L"Size"), BS_AUTOCHECKBOX | WS_TABSTOP, IDC_FLT_SIZEON, m, y, lw, h);
    const int third = (cw - S(16)) / 3;
    combo(IDC_FLT_SIZEKIND, m + lw, y, third, ListOr("SizeKinds", {L"More than", L"Less than"}), 0);
    HWND hSize = Add(L"EDIT", L"0", ES_NUMBER | ES_RIGHT | WS_TABSTOP, IDC_FLT_SIZE, m + lw + third + S(8), y, third, h, WS_EX_CLIENTEDGE);
    // Up to 2^30 of the largest unit: every limit fits 64 bits.
    SendMessageW(hSize, EM_LIMITTEXT, 10, 0);
    combo(IDC_FLT_UNIT, m + lw + 2 * (third + S(8)), y, third, ListOr("Units", {L"bytes", L"KiB", L"MiB", L"GiB"}), 1);
    y += row;
    Add(L"BUTTON", skin.Text("DlgFilter", "TxtDate", L"Date"), BS_AUTOCHECKBOX | WS_TABSTOP, IDC_FLT_DATEON, m, y, lw, h);
    combo(IDC_FLT_DATEKIND, m + lw, y, third, ListOr("DateKinds", {L"Create", L"Modify"}), 1);
    SYSTEMTIME now{}, yearAgo{};
    GetLocalTime(&now);
    yearAgo = now;
    yearAgo.wYear = static_cast<WORD>(yearAgo.wYear - 1);
    if (yearAgo.wMonth == 2 && yearAgo.wDay == 29) yearAgo.wDay = 28;
    const struct { int nId; const char* pszKey; const wchar_t* pszDef; const SYSTEMTIME* pTime; } kDates[] = {
        {IDC_FLT_FROM, "TxtFrom", L"From:", &yearAgo}, {IDC_FLT_TO, "TxtTo", L"To:", &now}};
    for (const auto& d : kDates) {
        y += row;
        Add(L"STATIC", skin.Text("DlgFilter", d.pszKey, d.pszDef), SS_RIGHT | SS_CENTERIMAGE, -1, m, y, lw - S(10), h);
        HWND hPick = Add(DATETIMEPICK_CLASSW, L"", DTS_SHORTDATECENTURYFORMAT | WS_TABSTOP, d.nId, m + lw, y, cw, h);
        SendMessageW(hPick, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(L"yyyy'-'MM'-'dd' 'HH':'mm"));
        SendMessageW(hPick, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(d.pTime));
    }
    const int bw = S(110), bh = S(30), by = S(280) - m - bh;
    Add(L"BUTTON", skin.Text("DlgFilter", "Ok", L"Apply"), BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, S(480) - m - 2 * bw - S(10), by, bw, bh);
    Add(L"BUTTON", skin.Text("DlgFilter", "Cancel", L"Cancel"), BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, S(480) - m - bw, by, bw, bh);
    EnableTests();
    SetFocus(GetDlgItem(m_hWnd, IDC_FLT_KEY));
}

void CWinFilterDlg::EnableTests() {
    // The values of a test that is off are greyed out.
    for (int nId : {IDC_FLT_SIZEKIND, IDC_FLT_SIZE, IDC_FLT_UNIT}) EnableWindow(GetDlgItem(m_hWnd, nId), Checked(IDC_FLT_SIZEON));
    for (int nId : {IDC_FLT_DATEKIND, IDC_FLT_FROM, IDC_FLT_TO}) EnableWindow(GetDlgItem(m_hWnd, nId), Checked(IDC_FLT_DATEON));
}

uint64_t CWinFilterDlg::FileTimeOf(int nId) const {
    // The picker shows local time; the filter compares file times (UTC).
    SYSTEMTIME local{}, utc{};
    FILETIME ft{};
    if (SendDlgItemMessageW(m_hWnd, nId, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&local)) != GDT_VALID) return 0;
    local.wSecond = 0;
    local.wMilliseconds = 0;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft)) return 0;
    const uint64_t n = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // The end takes in its whole minute.
    return nId == IDC_FLT_TO ? n + 600000000ULL - 1 : n;
}

void CWinFilterDlg::OnCommand(int nId, int nCode) {
    switch (nId) {
        case IDC_FLT_SIZEON:
        case IDC_FLT_DATEON:
            if (nCode == BN_CLICKED) EnableTests();
            return;
        case IDOK: {
            wchar_t buf[512] = L"";
            GetDlgItemTextW(m_hWnd, IDC_FLT_KEY, buf, 512);
            std::wstring key = buf;
            size_t a = key.find_first_not_of(L" \t"), b = key.find_last_not_of(L" \t");
            m_filter = CKivResultFilter();
            m_filter.SetKey(a == std::wstring::npos ? std::string() : KivU(key.substr(a, b - a + 1)));
            if (Checked(IDC_FLT_SIZEON)) {
                GetDlgItemTextW(m_hWnd, IDC_FLT_SIZE, buf, 64);
                const uint64_t nValue = std::min<uint64_t>(std::wcstoull(buf, nullptr, 10), uint64_t(1) << 30);
                const int nUnit = Choice(IDC_FLT_UNIT);
                m_filter.SetSizeTest(Choice(IDC_FLT_SIZEKIND) == 1 ? CKivResultFilter::SIZE_LESS_THAN : CKivResultFilter::SIZE_MORE_THAN,
                                     nValue, static_cast<CKivResultFilter::SizeUnit>(nUnit < 0 ? 0 : nUnit));
            }
            if (Checked(IDC_FLT_DATEON))
                m_filter.SetDateTest(Choice(IDC_FLT_DATEKIND) == 0 ? CKivResultFilter::DATE_CREATE : CKivResultFilter::DATE_MODIFY,
                                     FileTimeOf(IDC_FLT_FROM), FileTimeOf(IDC_FLT_TO));
            End(true);
            return;
        }
        default: CWinModal::OnCommand(nId, nCode);
    }
}
