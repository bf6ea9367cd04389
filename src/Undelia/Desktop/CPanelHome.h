// The home panel: two large buttons, whole disks or partitions, with a picture and a text that
// tell them apart (shown for the button under the pointer or with the focus), and "Open saved
// scan...", which brings a saved scan back: a complete one straight into the results, an
// unfinished one through the scan dialog first.
#pragma once

#include "CPanelBase.h"

class QLabel;
class QPushButton;
class CPanelFileRes;

class CPanelHome : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelHome(QWidget* pParent);

    void OnEnter() override;
    // Enter (the window's Next) chooses the card with the focus.
    bool OnNext() override;
    QPushButton* DevicesButton() const { return m_pDevs; }
    QPushButton* FilesButton() const { return m_pFiles; }
    QPushButton* OpenScanButton() const { return m_pOpen; }
    QString PreviewText() const;

    // The results panel a saved scan is shown in.
    void SetResults(CPanelFileRes* pRes) { m_pRes = pRes; }
    // Opens a saved scan (what the button does once a file is chosen); false when it was refused
    // (the user has been told why) or found nothing to show.
    bool OpenScan(const QString& strFile);

signals:
    // A saved scan is ready in the results panel.
    void ScanOpened(CPanelBase* pResults);

protected:
    bool eventFilter(QObject* pObj, QEvent* pEvent) override;

private:
    QPushButton* MakeCard(const char* pszKey);
    // 0 devices, 1 partitions, 2 a saved scan, -1 none.
    void ShowPreview(int nWhich);
    void Choose(int nMode);
    void OnOpenScan();

    QPushButton* m_pDevs;
    QPushButton* m_pFiles;
    QPushButton* m_pOpen;
    CPanelFileRes* m_pRes = nullptr;
    QLabel* m_pPvImg;
    QLabel* m_pPvText;
    int m_nChosen = -1;  // the card clicked, until its Next is done
};
