// What every wizard panel has: its caption, the step bar, Back and Next. A panel says what
// happens on entering it and whether Next or Back may leave it; the panel manager moves on.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class CStepBar;

class CPanelBase : public QWidget {
    Q_OBJECT
public:
    // pszSection is the panel's skin section; nStep its place on the step bar.
    CPanelBase(const char* pszSection, int nStep, QWidget* pParent);

    // Called each time the panel is shown.
    virtual void OnEnter() {}
    // False keeps the panel on screen (it has told the user why).
    virtual bool OnNext() { return true; }
    virtual bool OnBack() { return true; }

    CPanelBase* GetPrev() const { return m_pPrev; }
    CPanelBase* GetNext() const { return m_pNext; }
    void SetPrev(CPanelBase* p) { m_pPrev = p; }
    void SetNext(CPanelBase* p) { m_pNext = p; }

    const char* Section() const { return m_pszSection; }
    QPushButton* BackButton() const { return m_pBack; }
    QPushButton* NextButton() const { return m_pNext_; }
    QString Caption() const;

signals:
    void NextRequested();
    void BackRequested();
    void FirstRequested();

protected:
    void SetCaption(const QString& strText);
    // Gives the Next button another skin entry (its place, text and look).
    void SetNextEntry(const char* pszKey);
    // A button of the panel's skin section; nFollow as CKivSkinLayout's (the bottom row by default).
    QPushButton* AddButton(const char* pszKey, const QString& strDefault, int nFollow = 4);

private:
    const char* m_pszSection;
    CPanelBase* m_pPrev = nullptr;
    CPanelBase* m_pNext = nullptr;
    QLabel* m_pTitle;
    CStepBar* m_pSteps;
    QPushButton* m_pBack;
    QPushButton* m_pNext_;
};
