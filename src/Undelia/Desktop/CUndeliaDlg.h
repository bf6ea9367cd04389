// The main window: the caption bar (product name, options menu with Help, Feedback and About,
// minimise, close), the panel area with the wizard, and the exit check. Its size, the panel area
// and every control's place come from the skin. Enter is Next and Esc is Back on every panel.
#pragma once

#include <QDialog>

class CPanelProcess;
class QToolButton;
class QMenu;

class CUndeliaDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUndeliaDlg(QWidget* pParent = nullptr);
    ~CUndeliaDlg() override;

    // Smallest size the panels stay usable at (an 800 x 600 screen, or a 1920 x 1080 one at 200 %).
    static constexpr int kMinWidth = 720;
    static constexpr int kMinHeight = 500;

    CPanelProcess* Panels() const { return m_pPanels; }
    // The size the window opens at: the one it was left at, else the skin's, within the screen.
    QSize InitialSize() const;
    // Keeps the window's size for the next start (not when maximised).
    void RememberSize();
    void ToggleMaximised();
    QMenu* OptionsMenu() const { return m_pMenu; }
    // The exit check: asks "DlgMsg"/"ExitCheck"; anything but no closes the window.
    void reject() override;

public slots:
    void OnHelp();
    void OnFeedback();
    void OnAbout();

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    bool eventFilter(QObject* pObj, QEvent* pEvent) override;

private:
    void BuildCaptionBar();
    QToolButton* AddCaptionButton(QWidget* pBar, const char* pszKey, const char* pszIcon, const char* pszTip);
    void AddWebButton(QWidget* pBar, const char* pszKey, const char* pszUrlKey, const char* pszTip);

    CPanelProcess* m_pPanels = nullptr;
    QMenu* m_pMenu = nullptr;
    QWidget* m_pCaption = nullptr;
    bool m_bClosing = false;
};
