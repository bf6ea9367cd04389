// The recovery's result: files and bytes written, files written with unreadable parts and files
// that could not be written (each with its reason), and where they were saved.
#pragma once

#include <QDialog>
#include <QStringList>

#include "CKivResultController.h"

class CKivRecoveryReport;

class CDlgRecovRes : public QDialog {
    Q_OBJECT
public:
    // pReport (may be null): the record of this recovery, offered by a "Save report…" button.
    CDlgRecovRes(const KivRecoverSummary& sum, const QStringList& damaged, const QStringList& failed, QWidget* pParent,
                 const CKivRecoveryReport* pReport = nullptr);

    // The summary lines shown (the final panel shows them too).
    static QStringList SummaryLines(const KivRecoverSummary& sum);
    QString Text() const { return m_strText; }
    bool HasReport() const { return m_pReport != nullptr; }
    // Writes the report (JSON, or DFXML for ".xml") after refusing a folder on the scanned medium;
    // tells the user how it went. The button asks for the file first.
    bool SaveReport(const QString& strFile);

private:
    void OnSaveReport();

    QString m_strText;
    const CKivRecoveryReport* m_pReport;
};
