// The final panel: what the recovery wrote and where, a button that opens the folder, and "Start
// over"; Next goes round to the home panel.
#pragma once

#include "CKivResultController.h"
#include "CPanelBase.h"

class QLabel;
class QPushButton;

class CPanelFinal : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelFinal(QWidget* pParent);

    void SetResult(const KivRecoverSummary& sum, qsizetype nProblems);
    void OnEnter() override;
    QString SummaryText() const;

private:
    QLabel* m_pSummary;
    QPushButton* m_pOpen;
    QString m_strFolder;
};
