// The recovery's progress: the file being written, files and bytes done of the total, and the
// stop button. The core's recovery run keeps the damaged and failed files.
#pragma once

#include "CDlgProgress.h"

class QLabel;
class QProgressBar;

class CDlgRecoverProgress : public CDlgProgress {
    Q_OBJECT
public:
    explicit CDlgRecoverProgress(QWidget* pParent);

    void OnRecoverProgress(const KivRecoverProgress& progress) override;

private:
    void Show(const KivRecoverProgress& progress);

    QLabel* m_pFile;
    QProgressBar* m_pFileBar;
    QProgressBar* m_pByteBar;
    QLabel* m_pBytes;
};
