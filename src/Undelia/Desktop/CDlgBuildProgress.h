// Building the results after a scan: the engine's phases and the making of the views, with a
// stop button.
#pragma once

#include "CDlgProgress.h"

class QLabel;
class QProgressBar;

class CDlgBuildProgress : public CDlgProgress {
    Q_OBJECT
public:
    explicit CDlgBuildProgress(QWidget* pParent);

    void OnBuildPhase(const std::string& strText, uint64_t nTotal) override;
    void OnBuildProgress(uint64_t nValue, uint64_t nTotal) override;
    void OnViewsStart() override;

private:
    QLabel* m_pText;
    QProgressBar* m_pBar;
};
