// The about dialog: product, version and what the program does.
#pragma once

#include <QDialog>

class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* pParent);
};
