// The scan's progress: the bar, items found, elapsed and remaining time, and the stop button.
#pragma once

#include "CDlgProgress.h"

class QLabel;
class QProgressBar;

class CDlgScanProgress : public CDlgProgress {
    Q_OBJECT
public:
    CDlgScanProgress(const QString& strDevice, QWidget* pParent);

    void OnScanProgress(const KivScanProgress& progress) override;

    // What the dialog shows (the tests read it).
    int BarValue() const;
    QString FoundText() const;

private:
    void Show(const KivScanProgress& progress);

    QProgressBar* m_pBar;
    QLabel* m_pFound;
    QLabel* m_pElapsed;
    QLabel* m_pRemaining;
};
