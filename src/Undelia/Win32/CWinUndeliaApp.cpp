#include "CWinUndeliaApp.h"

#include <commctrl.h>
#include <objbase.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "CKivElevation.h"
#include "CWinMainWnd.h"
#include "CWinPrompt.h"
#include "CWinSkin.h"
#include "KivCrashHandler.h"
#include "KivUiCodes.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace {

// The core waits for the engine on this thread in 10 ms slices and pumps between them.
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the main loop once the work is done.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        CWinUndeliaApp::Dispatch(msg);
    }
}

}  // namespace

CWinUndeliaApp::CWinUndeliaApp() = default;

CWinUndeliaApp::~CWinUndeliaApp() = default;

void CWinUndeliaApp::Dispatch(MSG& msg) {
    HWND hTop = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (hTop && IsDialogMessageW(hTop, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool CWinUndeliaApp::TakeInstanceLock() {
    m_pLock = std::make_unique<CKivNamedLock>(kKivInstanceLock);
    if (m_pLock->TryLock()) return true;
    // Started with full rights by the copy that is ending now: it lets go within moments.
    for (int i = 0; i < 100 && !m_strScanDevice.empty(); ++i) {
        Sleep(100);
        if (m_pLock->TryLock()) return true;
    }
    m_pLock.reset();
    CWinPrompt::Show(nullptr, CWinSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, KIV_E_RUNNING)), true);
    return false;
}

int CWinUndeliaApp::Run(int nShow) {
    KivInstallCrashHandler();
    // Image files named on the command line ("Open with" on an image) are listed as disks; a start
    // with full rights names the disk to scan.
    std::vector<std::string> args;
    int nArgs = 0;
    if (wchar_t** ppArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs)) {
        for (int i = 1; i < nArgs; ++i) args.push_back(KivU(ppArgs[i]));
        LocalFree(ppArgs);
    }
    std::vector<std::string> rest;
    m_strScanDevice = CKivElevation::ScanDevice(args, &rest);
    std::vector<std::wstring> images;
    for (const std::string& a : rest) images.push_back(KivW(a));
    if (!TakeInstanceLock()) return 0;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    // The folder picker and the shell's "open" want COM on this thread.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    KivSetPumpHook(&PumpMessages);
    // GDI+ draws the preview's pictures.
    ULONG_PTR nGdiplus = 0;
    Gdiplus::GdiplusStartupInput gdiplusIn;
    const bool bGdiplus = Gdiplus::GdiplusStartup(&nGdiplus, &gdiplusIn, nullptr) == Gdiplus::Ok;
    int nCode = 0;
    {
        CWinMainWnd wnd;
        if (wnd.Create(nShow, images, m_strScanDevice)) {
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
            nCode = static_cast<int>(msg.wParam);
        }
    }
    KivSetPumpHook(nullptr);
    if (bGdiplus) Gdiplus::GdiplusShutdown(nGdiplus);
    if (SUCCEEDED(hr)) CoUninitialize();
    return nCode;
}
