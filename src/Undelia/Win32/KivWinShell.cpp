#include "KivWinShell.h"

#include "CWinSkin.h"

#include <algorithm>

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace {

// "Saved scans (*.und);;All files (*)" as the dialogs take it: pairs of name and patterns,
// each ended by a NUL, the list by another.
std::wstring DialogFilter(const std::wstring& strFilter) {
    std::wstring out;
    size_t from = 0;
    while (from <= strFilter.size()) {
        size_t at = strFilter.find(L";;", from);
        std::wstring part = strFilter.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from);
        size_t open = part.rfind(L'('), close = part.rfind(L')');
        std::wstring pats = open != std::wstring::npos && close > open ? part.substr(open + 1, close - open - 1) : L"*";
        for (wchar_t& c : pats)
            if (c == L' ') c = L';';
        if (pats == L"*") pats = L"*.*";
        out += part + L'\0' + pats + L'\0';
        if (at == std::wstring::npos) break;
        from = at + 2;
    }
    return out + L'\0';
}

}  // namespace

std::wstring KivAskOpenFile(HWND hOwner, const std::wstring& strTitle, const std::wstring& strFilter) {
    std::vector<wchar_t> buf(32768, L'\0');
    std::wstring filter = DialogFilter(strFilter);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hOwner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = buf.data();
    ofn.nMaxFile = static_cast<DWORD>(buf.size());
    ofn.lpstrTitle = strTitle.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_HIDEREADONLY;
    return GetOpenFileNameW(&ofn) ? std::wstring(buf.data()) : std::wstring();
}

std::wstring KivAskSaveFile(HWND hOwner, const std::wstring& strTitle, const std::wstring& strFilter,
                            const std::wstring& strSuggested, const wchar_t* pszDefExt) {
    std::vector<wchar_t> buf(32768, L'\0');
    strSuggested.copy(buf.data(), buf.size() - 1);
    std::wstring filter = DialogFilter(strFilter);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hOwner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = buf.data();
    ofn.nMaxFile = static_cast<DWORD>(buf.size());
    ofn.lpstrTitle = strTitle.c_str();
    ofn.lpstrDefExt = pszDefExt;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_HIDEREADONLY;
    return GetSaveFileNameW(&ofn) ? std::wstring(buf.data()) : std::wstring();
}

std::wstring KivAskFolder(HWND hOwner, const std::wstring& strTitle) {
    BROWSEINFOW bi{};
    bi.hwndOwner = hOwner;
    bi.lpszTitle = strTitle.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return std::wstring();
    wchar_t path[MAX_PATH] = L"";
    BOOL bOk = SHGetPathFromIDListW(pidl, path);
    CoTaskMemFree(pidl);
    return bOk ? std::wstring(path) : std::wstring();
}

void KivShellOpen(HWND hOwner, const std::wstring& strWhat) {
    ShellExecuteW(hOwner, L"open", strWhat.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::wstring KivUserFolder() {
    wchar_t path[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0]) return path;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path))) return path;
    return std::wstring();
}

bool KivIsElevated() {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
    TOKEN_ELEVATION e{};
    DWORD n = 0;
    const bool bElevated = GetTokenInformation(hToken, TokenElevation, &e, sizeof e, &n) && e.TokenIsElevated;
    CloseHandle(hToken);
    return bElevated;
}

bool KivRelaunchElevated(HWND hOwner, const std::vector<std::string>& args) {
    wchar_t exe[MAX_PATH * 4] = L"";
    if (!GetModuleFileNameW(nullptr, exe, MAX_PATH * 4)) return false;
    // Quoted as the C runtime splits a command line: backslashes before a quote doubled.
    std::wstring params;
    for (const std::string& a : args) {
        std::wstring w = KivW(a), q = L"\"";
        size_t nSlashes = 0;
        for (wchar_t c : w) {
            if (c == L'\\') {
                ++nSlashes;
                continue;
            }
            q.append(c == L'"' ? nSlashes * 2 + 1 : nSlashes, L'\\');
            nSlashes = 0;
            q += c;
        }
        q.append(nSlashes * 2, L'\\');
        params += (params.empty() ? L"" : L" ") + q + L"\"";
    }
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.hwnd = hOwner;
    sei.lpVerb = L"runas";
    sei.lpFile = exe;
    sei.lpParameters = params.c_str();
    sei.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&sei) != FALSE;
}

std::string KivWinShownPath(std::string strPath) {
    std::replace(strPath.begin(), strPath.end(), '/', '\\');
    return strPath;
}

KivRecoverSummary KivWinShownSummary(const KivRecoverSummary& sum) {
    KivRecoverSummary shown = sum;
    for (std::string& f : shown.folders) f = KivWinShownPath(f);
    return shown;
}
