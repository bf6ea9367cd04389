// Plays the user's part for the desktop tests and the screenshot tool: answers every modal
// dialog the program opens (messages, questions, the destination and filter dialogs, the preview
// and the result) by a rule of the test, and remembers what each showed.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "CDlgFilter.h"
#include "CDlgMsg.h"
#include "CDlgProgress.h"
#include "CDlgRecovRes.h"
#include "CDlgSelectDir.h"
#include "CDlgShowStateInfo.h"

class CDesktopDriver : public QObject {
public:
    CDesktopDriver() {
        m_timer.setInterval(15);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }

    // Rules; each answers for the dialog it gets.
    std::function<bool(const QString&)> answer = [](const QString&) { return true; };  // questions
    QString strDestination;                                                            // destination dialog
    std::function<void(CDlgFilter*)> fillFilter;                                       // filter dialog
    QString strReport;  // result dialog: the report is saved there when set
    // Called with every dialog before it is answered (the screenshot tool takes its picture).
    std::function<void(QWidget*)> onDialog;

    // What the program showed.
    QStringList messages, questions, results;
    QList<bool> reportSaved;
    QList<int> previewKinds;
    int nDestTries = 0;
    int nAskedOverProgress = 0;  // questions shown while a progress window was up

    void Clear() {
        messages.clear();
        questions.clear();
        results.clear();
        reportSaved.clear();
        previewKinds.clear();
        nDestTries = 0;
        nAskedOverProgress = 0;
    }

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || qobject_cast<CDlgProgress*>(w) || m_done.contains(w)) return;
        m_done.insert(w);
        QPointer<QWidget> p(w);
        // Acted on from a timer of its own: a nested dialog opened by the action is then still
        // answered by this poll.
        QTimer::singleShot(0, this, [this, p] {
            if (p) Handle(p);
        });
    }

    void Handle(QWidget* w) {
        if (onDialog) onDialog(w);
        if (auto* m = qobject_cast<CDlgMsg*>(w)) {
            if (m->IsQuestion()) {
                questions << m->Text();
                for (QWidget* t : QApplication::topLevelWidgets())
                    if (qobject_cast<CDlgProgress*>(t) && t->isVisible()) ++nAskedOverProgress;
                m->Answer(answer(m->Text()));
            } else {
                messages << m->Text();
                m->Answer(true);
            }
        } else if (auto* d = qobject_cast<CDlgSelectDir*>(w)) {
            ++nDestTries;
            d->SetFolder(strDestination);
            d->OnOk();
            // Refused: the dialog stays up; the test's next rule decides (cancel here).
            if (d->isVisible()) d->reject();
        } else if (auto* f = qobject_cast<CDlgFilter*>(w)) {
            if (fillFilter) fillFilter(f);
            f->accept();
        } else if (auto* r = qobject_cast<CDlgRecovRes*>(w)) {
            results << r->Text();
            if (!strReport.isEmpty()) {
                reportSaved << (r->HasReport() && r->SaveReport(strReport));
                strReport.clear();
            }
            r->accept();
        } else if (auto* v = qobject_cast<CDlgShowStateInfo*>(w)) {
            previewKinds << v->ShownKind();
            v->reject();
        } else if (auto* q = qobject_cast<QDialog*>(w)) {
            q->reject();
        }
        m_done.remove(w);
    }

    QTimer m_timer;
    QSet<QWidget*> m_done;
};
