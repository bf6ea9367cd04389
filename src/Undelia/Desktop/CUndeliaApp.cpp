#include "CUndeliaApp.h"

#include <QThread>

#include "CDlgMsg.h"
#include "CKivSkin.h"
#include "CUndeliaDlg.h"
#include "KivUiCodes.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace {

// The core waits for the engine on this thread in 10 ms slices and pumps between them.
void PumpEvents() {
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 8);
}

}  // namespace

CUndeliaApp::CUndeliaApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Undelia");
    setDesktopFileName("undelia");
}

CUndeliaApp::~CUndeliaApp() = default;

void CUndeliaApp::SetUpUi() {
    qApp->setStyleSheet(CKivSkin::Get().StyleSheet());
    KivSetPumpHook(&PumpEvents);
}

bool CUndeliaApp::TakeInstanceLock(std::unique_ptr<CKivNamedLock>* pLock) {
    *pLock = std::make_unique<CKivNamedLock>(kInstanceLock);
    if ((*pLock)->TryLock()) return true;
    pLock->reset();
    CDlgMsg::Show(nullptr, CKivSkin::ErrorText(KivMakeCode(0, KIV_MOD_UI, KIV_E_RUNNING)));
    return false;
}

bool CUndeliaApp::InitInstance() { return TakeInstanceLock(&m_pLock); }

int CUndeliaApp::Run() {
    // A second copy leaves the first one alone and ends as a success.
    if (!InitInstance()) return 0;
    SetUpUi();
    CUndeliaDlg dlg;
    dlg.show();
    dlg.exec();
    return 0;
}
