// The home panel: two large buttons, whole disks or partitions, with a picture and a text that
// tell them apart (shown for the button under the pointer or with the focus).
#pragma once

#include "CPanelBase.h"

class QLabel;
class QPushButton;

class CPanelHome : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelHome(QWidget* pParent);

    void OnEnter() override;
    // Enter (the window's Next) chooses the card with the focus.
    bool OnNext() override;
    QPushButton* DevicesButton() const { return m_pDevs; }
    QPushButton* FilesButton() const { return m_pFiles; }
    QString PreviewText() const;

protected:
    bool eventFilter(QObject* pObj, QEvent* pEvent) override;

private:
    QPushButton* MakeCard(const char* pszKey);
    // 0 devices, 1 partitions, -1 neither.
    void ShowPreview(int nWhich);
    void Choose(int nMode);

    QPushButton* m_pDevs;
    QPushButton* m_pFiles;
    QLabel* m_pPvImg;
    QLabel* m_pPvText;
    int m_nChosen = -1;  // the card clicked, until its Next is done
};
