// The recovery's progress: the file being written, files and bytes done of the total, and the
// stop button. Damaged and failed files are collected for the result dialog.
#pragma once

#include <QStringList>

#include "CDlgProgress.h"

class QLabel;
class QProgressBar;

class CDlgRecoverProgress : public CDlgProgress {
    Q_OBJECT
public:
    explicit CDlgRecoverProgress(QWidget* pParent);

    void OnRecoverProgress(const KivRecoverProgress& progress) override;
    void OnRecoverDamaged(const std::string& strPath, const std::string& strReason) override;
    void OnRecoverFailed(const std::string& strPath, const std::string& strReason) override;

    // "path: reason", in the order they came.
    const QStringList& Damaged() const { return m_damaged; }
    const QStringList& Failed() const { return m_failed; }

private:
    void Show(const KivRecoverProgress& progress);

    QLabel* m_pFile;
    QProgressBar* m_pFileBar;
    QProgressBar* m_pByteBar;
    QLabel* m_pBytes;
    QStringList m_damaged, m_failed;
};
