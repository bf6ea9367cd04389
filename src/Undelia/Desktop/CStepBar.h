// The wizard's step bar: the step names of the skin ("Panel"/"Steps"), the current one marked,
// the ones done ticked.
#pragma once

#include <QStringList>
#include <QWidget>

class CStepBar : public QWidget {
    Q_OBJECT
public:
    CStepBar(int nCurrent, QWidget* pParent);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QStringList m_steps;
    int m_nCurrent;
};
