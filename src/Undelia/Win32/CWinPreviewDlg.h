// The built-in preview of one recovered file: a picture through GDI+ (scaled down to the window,
// never up), text, or the hexadecimal lines of its start, as the core's CKivPreviewText decides;
// a button hands the file to the shell's "open".
#pragma once

#include <memory>
#include <string>

#include "CWinModal.h"

namespace Gdiplus {
class Bitmap;
}

class CWinPreviewDlg : public CWinModal {
public:
    enum Kind { KIND_IMAGE, KIND_TEXT, KIND_HEX };
    // strPath as Windows names it.
    CWinPreviewDlg(const std::wstring& strPath, const std::wstring& strName, HWND hOwner);
    ~CWinPreviewDlg() override;
    void Run();
    Kind ShownKind() const { return m_kind; }

protected:
    void OnInit() override;
    void OnCommand(int nId, int nCode) override;
    void OnSize(int nWidth, int nHeight) override;
    LRESULT OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

private:
    RECT PictureRect() const;
    void Paint(HDC hDC);

    std::wstring m_strPath, m_strName;
    Kind m_kind = KIND_HEX;
    std::unique_ptr<Gdiplus::Bitmap> m_pImage;
    HFONT m_hMono = nullptr;
};
