// What the three progress dialogs share: they are the core's progress sink while one long piece
// of work runs, take its reports from any thread (the engine calls from its own threads; the
// reports are posted to the window's thread), and ask before they stop it. The work itself runs
// on the caller's thread while the core pumps the event loop, so the dialog stays live.
#pragma once

#include <QDialog>
#include <atomic>

#include "IKivUiSink.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

class CDlgProgress : public QDialog, public IKivProgressSink {
    Q_OBJECT
public:
    // pszSection is the dialog's skin section ("Title", "Size", "BtnStop").
    CDlgProgress(const char* pszSection, QWidget* pParent);

    // Shown without blocking (the core's wait pumps the events), modal for the rest of the program.
    void Begin();
    void End();

    bool IsStopRequested() override { return m_bStop.load(); }
    bool StopAsked() const { return m_bStop.load(); }
    // The stop button: asks "DlgProgScan"/"TxtCancel" and stops on yes.
    void OnStop();

    QPushButton* StopButton() const { return m_pStop; }

protected:
    // Esc and the window's close ask like the stop button.
    void reject() override;
    void closeEvent(QCloseEvent* pEvent) override;
    // Runs fn on the dialog's thread, whatever thread reports.
    void Post(std::function<void()> fn);
    QVBoxLayout* Body() const { return m_pBody; }
    const char* Section() const { return m_pszSection; }
    // Stops are refused after this (the last file is being written, say).
    void SetStoppable(bool bOn);

private:
    const char* m_pszSection;
    QVBoxLayout* m_pBody;
    QPushButton* m_pStop;
    std::atomic<bool> m_bStop{false};
    bool m_bRunning = false;
    bool m_bAsking = false;
};
