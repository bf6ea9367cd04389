// The program's message dialog: a text with OK, or a question with Yes and No. Esc answers no.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class CDlgMsg : public QDialog {
    Q_OBJECT
public:
    enum Kind { KIND_INFO, KIND_QUESTION, KIND_ERROR };
    CDlgMsg(QWidget* pParent, const QString& strText, Kind kind);

    // Modal; true for yes (and for OK).
    static bool Ask(QWidget* pParent, const QString& strText);
    static void Show(QWidget* pParent, const QString& strText, Kind kind = KIND_INFO);

    QString Text() const;
    bool IsQuestion() const { return m_kind == KIND_QUESTION; }
    // Answers as a click on Yes (or OK) or No would.
    void Answer(bool bYes);

private:
    Kind m_kind;
    QLabel* m_pText;
};
