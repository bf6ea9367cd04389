// Walks Undelia.exe through every panel over a disk image, as a user would, by pressing its buttons
// through window messages, and saves a picture of the screen under each panel and dialog.
//   undelia-walker.exe UNDELIA_EXE IMAGE OUTDIR DESTDIR
// The pictures are BMP files NN-name.bmp in OUTDIR (scripts/screenshots-windows makes PNG files of
// them); the recovery writes into DESTDIR. Exit code 0 when every step was reached.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "KivWinIds.h"

namespace {

DWORD g_pid = 0;
std::wstring g_out;
int g_nShot = 0;
int g_nMissed = 0;

void Settle(DWORD ms = 700) { Sleep(ms); }

struct FindTop {
    const wchar_t* pszClass;
    HWND hFound;
};

BOOL CALLBACK EnumTop(HWND h, LPARAM l) {
    auto* f = reinterpret_cast<FindTop*>(l);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != g_pid || !IsWindowVisible(h)) return TRUE;
    wchar_t cls[128] = L"";
    GetClassNameW(h, cls, 128);
    if (lstrcmpW(cls, f->pszClass) == 0) {
        f->hFound = h;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the program, of that class, within ms.
HWND WaitTop(const wchar_t* pszClass, DWORD ms, DWORD nPoll = 50) {
    for (DWORD t = 0; t <= ms; t += nPoll) {
        FindTop f{pszClass, nullptr};
        EnumWindows(&EnumTop, reinterpret_cast<LPARAM>(&f));
        if (f.hFound) return f.hFound;
        Sleep(nPoll);
    }
    return nullptr;
}

bool WaitGone(const wchar_t* pszClass, DWORD ms) {
    for (DWORD t = 0; t <= ms; t += 20) {
        FindTop f{pszClass, nullptr};
        EnumWindows(&EnumTop, reinterpret_cast<LPARAM>(&f));
        if (!f.hFound) return true;
        Sleep(20);
    }
    return false;
}

struct FindChild {
    int nId;
    HWND hFound;
};

BOOL CALLBACK EnumChild(HWND h, LPARAM l) {
    auto* f = reinterpret_cast<FindChild*>(l);
    if (GetDlgCtrlID(h) == f->nId && IsWindowVisible(h)) {
        f->hFound = h;
        return FALSE;
    }
    return TRUE;
}

// The visible control of that id anywhere below the window.
HWND Child(HWND hTop, int nId, DWORD ms = 3000) {
    for (DWORD t = 0; t <= ms; t += 100) {
        FindChild f{nId, nullptr};
        EnumChildWindows(hTop, &EnumChild, reinterpret_cast<LPARAM>(&f));
        if (f.hFound) return f.hFound;
        Sleep(100);
    }
    return nullptr;
}

bool Click(HWND hTop, int nId) {
    HWND h = Child(hTop, nId);
    if (!h) {
        std::fprintf(stderr, "walker: no control %d\n", nId);
        ++g_nMissed;
        return false;
    }
    // What the button tells its window when clicked: no pointer or focus of this desktop needed.
    PostMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(h));
    return true;
}

void Key(HWND h, WPARAM vk) {
    PostMessageW(h, WM_KEYDOWN, vk, 1);
    PostMessageW(h, WM_KEYUP, vk, 0xC0000001);
}

// The screen under the window (and whatever lies over it: dialogs, menus) as a 24-bit BMP.
// pszWhile (may be null): a window class that must still be up when the picture is taken, else
// there is no picture (a short recovery ends before it could be taken).
void Shot(HWND hWnd, const wchar_t* pszName, const wchar_t* pszWhile = nullptr) {
    // What a closed dialog uncovered is painted before the picture is taken.
    RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(pszWhile ? 60 : 400);
    RECT r;
    GetWindowRect(hWnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC hScreen = GetDC(nullptr);
    HDC hMem = CreateCompatibleDC(hScreen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* pBits = nullptr;
    HBITMAP hBmp = CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hMem, hBmp);
    BitBlt(hMem, 0, 0, w, h, hScreen, r.left, r.top, SRCCOPY);
    GdiFlush();
    if (pszWhile) {
        FindTop f{pszWhile, nullptr};
        EnumWindows(&EnumTop, reinterpret_cast<LPARAM>(&f));
        if (!f.hFound) {
            std::fprintf(stderr, "walker: %ls ended before its picture\n", pszName);
            SelectObject(hMem, hOld);
            DeleteObject(hBmp);
            DeleteDC(hMem);
            ReleaseDC(nullptr, hScreen);
            return;
        }
    }
    const DWORD nStride = static_cast<DWORD>((w * 3 + 3) & ~3), nBytes = nStride * static_cast<DWORD>(h);
    wchar_t name[MAX_PATH];
    ++g_nShot;
    swprintf(name, MAX_PATH, L"%ls\\%ls.bmp", g_out.c_str(), pszName);
    HANDLE hFile = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) {
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4d42;
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + nBytes;
        DWORD n = 0;
        WriteFile(hFile, &fh, sizeof fh, &n, nullptr);
        WriteFile(hFile, &bi.bmiHeader, sizeof bi.bmiHeader, &n, nullptr);
        WriteFile(hFile, pBits, nBytes, &n, nullptr);
        CloseHandle(hFile);
    }
    SelectObject(hMem, hOld);
    DeleteObject(hBmp);
    DeleteDC(hMem);
    ReleaseDC(nullptr, hScreen);
    std::fprintf(stderr, "walker: %ls\n", name);
}

// The message box up now: its picture, then the button pressed; nAfter: the time given to what
// the answer starts (none when a short-lived window must be caught).
bool Answer(HWND hMain, const wchar_t* pszName, int nButton, DWORD ms = 8000, DWORD nAfter = 300) {
    HWND hBox = WaitTop(L"#32770", ms);
    if (!hBox) {
        std::fprintf(stderr, "walker: no message box for %ls\n", pszName);
        ++g_nMissed;
        return false;
    }
    Settle(500);
    Shot(hMain, pszName);
    Click(hBox, nButton);
    if (!WaitGone(L"#32770", 5000)) std::fprintf(stderr, "walker: the message box of %ls stays\n", pszName);
    Settle(nAfter);
    return true;
}

// The preview of the list's chosen file: its picture, then closed. bRequired false: a step whose
// file is first copied out at length (slow under a loaded Wine), so a miss is only noted.
void Preview(HWND hMain, const wchar_t* pszName, bool bRequired = true) {
    Click(hMain, IDC_RES_PREVIEW);
    HWND hPvw = WaitTop(KIV_WC_MODAL, bRequired ? 20000 : 60000);
    if (!hPvw) {
        std::fprintf(stderr, "walker: no preview for %ls%s\n", pszName, bRequired ? "" : " (not counted)");
        if (bRequired) ++g_nMissed;
        return;
    }
    Settle(800);
    Shot(hMain, pszName);
    Click(hPvw, IDCANCEL);
    WaitGone(KIV_WC_MODAL, 5000);
    Settle(400);
}

// The filter dialog with a name key, the filter's view, the preview of its first file.
void Filter(HWND hMain, const wchar_t* pszKey, const wchar_t* pszDlgShot, const wchar_t* pszViewShot, const wchar_t* pszPreviewShot,
            bool bRequired = true) {
    Click(hMain, IDC_RES_FILTER);
    HWND hFlt = WaitTop(KIV_WC_MODAL, 5000);
    if (!hFlt) {
        std::fprintf(stderr, "walker: no filter dialog\n");
        ++g_nMissed;
        return;
    }
    if (HWND hKey = Child(hFlt, IDC_FLT_KEY)) SendMessageW(hKey, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszKey));
    Settle(400);
    if (pszDlgShot) Shot(hMain, pszDlgShot);
    Click(hFlt, IDOK);
    WaitGone(KIV_WC_MODAL, 20000);
    Settle(1200);
    if (pszViewShot) Shot(hMain, pszViewShot);
    if (HWND hList = Child(hMain, IDC_RES_LIST)) {
        // The filter's view may fill after its dialog has gone: a key on an empty list chooses nothing.
        for (DWORD t = 0; t < 10000 && SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0) <= 0; t += 100) Sleep(100);
        Key(hList, VK_HOME);
        Settle(400);
        Preview(hMain, pszPreviewShot, bRequired);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: undelia-walker UNDELIA_EXE IMAGE OUTDIR DESTDIR\n");
        return 2;
    }
    g_out = argv[3];
    CreateDirectoryW(g_out.c_str(), nullptr);
    CreateDirectoryW(argv[4], nullptr);
    std::wstring cmd = L"\"" + std::wstring(argv[1]) + L"\" \"" + argv[2] + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(argv[1], cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "walker: cannot start %ls\n", argv[1]);
        return 1;
    }
    g_pid = pi.dwProcessId;
    HWND hMain = WaitTop(KIV_WC_MAIN, 30000);
    if (!hMain) {
        std::fprintf(stderr, "walker: no main window\n");
        TerminateProcess(pi.hProcess, 1);
        return 1;
    }
    Settle(1500);
    Shot(hMain, L"01-home");

    // The question before closing, answered no.
    PostMessageW(hMain, WM_CLOSE, 0, 0);
    Answer(hMain, L"02-exit-question", IDNO);

    // Whole disks, the image among them.
    Click(hMain, IDC_HOME_DEVS);
    Settle(1500);
    Shot(hMain, L"03-devices");

    Click(hMain, IDC_NEXT);
    Settle(1200);
    // A check box takes a click, which also ticks it.
    if (HWND hAll = Child(hMain, IDC_TYPE_ALL)) PostMessageW(hAll, BM_CLICK, 0, 0);
    Settle();
    Shot(hMain, L"04-file-types");

    // The scan, then the build of the results.
    Click(hMain, IDC_NEXT);
    if (WaitTop(KIV_WC_PROGRESS, 10000, 10)) {
        Settle(150);
        Shot(hMain, L"05-scan-progress");
    } else {
        std::fprintf(stderr, "walker: the scan's progress was not seen\n");
    }
    WaitGone(KIV_WC_PROGRESS, 120000);
    HWND hTree = Child(hMain, IDC_RES_TREE, 60000);
    WaitGone(KIV_WC_PROGRESS, 120000);
    Settle(1500);
    Shot(hMain, L"06-results-folders");

    // The first partition ticked whole; the type view; back to the folders.
    if (hTree) {
        Key(hTree, VK_SPACE);
        Settle();
        Shot(hMain, L"07-results-ticked");
        if (HWND hTabs = Child(hMain, IDC_RES_TABS)) {
            Key(hTabs, VK_RIGHT);
            Settle(1000);
            Shot(hMain, L"08-results-types");
            Key(hTabs, VK_LEFT);
            Settle(1000);
        }
    }

    // The filter: the pictures named *.jpg, then the preview of the first of them; the text
    // files, the first of them previewed as text.
    Filter(hMain, L".jpg", L"09-filter", L"10-results-filter", L"11-preview-picture");
    Filter(hMain, L".txt", nullptr, L"12-results-text", L"13-preview-text");
    // A file that is neither (18 MiB of random bytes): its first bytes.
    Filter(hMain, L".dat", nullptr, nullptr, L"13b-preview-bytes", false);
    if (HWND hTabs = Child(hMain, IDC_RES_TABS)) {
        Key(hTabs, VK_LEFT);
        Key(hTabs, VK_LEFT);
        Settle(1000);
    }

    // The destination, the question, the recovery, its result, the final panel.
    Click(hMain, IDC_NEXT);
    if (HWND hDst = WaitTop(KIV_WC_SELECTDIR, 8000)) {
        if (HWND hPath = Child(hDst, IDC_DST_PATH)) SendMessageW(hPath, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        PostMessageW(hDst, WM_COMMAND, MAKEWPARAM(IDC_DST_PATH, EN_KILLFOCUS), 0);
        Settle();
        Shot(hMain, L"14-destination");
        Click(hDst, IDOK);
        // The question comes before the progress window: it stands over the results.
        if (WaitTop(L"#32770", 8000) && WaitTop(KIV_WC_PROGRESS, 0)) {
            std::fprintf(stderr, "walker: a progress window is up before the question\n");
            ++g_nMissed;
        }
        Answer(hMain, L"15-recover-question", IDYES, 8000, 0);
        if (WaitTop(KIV_WC_PROGRESS, 3000, 5)) Shot(hMain, L"16-recovery-progress", KIV_WC_PROGRESS);
        WaitGone(KIV_WC_PROGRESS, 120000);
        if (HWND hRes = WaitTop(KIV_WC_MODAL, 60000)) {
            Settle(500);
            Shot(hMain, L"17-recovery-result");
            Click(hRes, IDOK);
            WaitGone(KIV_WC_MODAL, 5000);
        } else {
            std::fprintf(stderr, "walker: no recovery result\n");
            ++g_nMissed;
        }
        Settle(1000);
        Shot(hMain, L"18-final");
    } else {
        std::fprintf(stderr, "walker: no destination dialog\n");
        ++g_nMissed;
    }

    // The options menu and the about text.
    PostMessageW(hMain, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    Answer(hMain, L"19-about", IDOK);
    Click(hMain, IDC_CAP_OPTION);
    if (WaitTop(L"#32768", 3000)) {
        Settle(500);
        Shot(hMain, L"20-menu");
        Key(hMain, VK_ESCAPE);
        WaitGone(L"#32768", 3000);
    }

    // Closed with yes.
    PostMessageW(hMain, WM_CLOSE, 0, 0);
    Answer(hMain, L"21-exit-yes", IDYES);
    if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "walker: the program did not end\n");
        TerminateProcess(pi.hProcess, 1);
        ++g_nMissed;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::fprintf(stderr, "walker: %d pictures, %d steps missed\n", g_nShot, g_nMissed);
    return g_nMissed ? 1 : 0;
}
