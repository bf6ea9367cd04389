// The recovery's result: files and bytes written, files written with unreadable parts and files
// that could not be written (each with its reason), and where they were saved.
#pragma once

#include <QDialog>
#include <QStringList>

#include "CKivResultController.h"

class CDlgRecovRes : public QDialog {
    Q_OBJECT
public:
    CDlgRecovRes(const KivRecoverSummary& sum, const QStringList& damaged, const QStringList& failed, QWidget* pParent);

    // The summary lines shown (the final panel shows them too).
    static QStringList SummaryLines(const KivRecoverSummary& sum);
    QString Text() const { return m_strText; }

private:
    QString m_strText;
};
