// The feedback dialog: what to report and where the logs are; the feedback page of the skin
// ("EXE"/"FeedbackUrl") opens from it only when the skin gives one.
#pragma once

#include <QDialog>

class CDlgFeedback : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFeedback(QWidget* pParent);
};
