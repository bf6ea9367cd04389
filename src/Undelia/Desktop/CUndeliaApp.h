// The application object: refuses to run twice, applies the skin's style, lets the core pump the
// event loop while it waits, and runs the main window until it closes.
#pragma once

#include <QApplication>
#include <memory>

#include "KivUiCodes.h"

class CKivNamedLock;

class CUndeliaApp : public QApplication {
    Q_OBJECT
public:
    // The lock every copy of the program takes.
    static constexpr const char* kInstanceLock = kKivInstanceLock;

    CUndeliaApp(int& argc, char** argv);
    ~CUndeliaApp() override;

    // False (after showing the already-running text) when another copy holds the lock.
    bool InitInstance();
    // The check itself: takes the lock into *pLock, or shows the text and answers false.
    static bool TakeInstanceLock(std::unique_ptr<CKivNamedLock>* pLock);
    // The whole run: the exit code of the process.
    int Run();

    // The style, the program icon and the event pump of the core; also what the tests set up.
    static void SetUpUi();

private:
    std::unique_ptr<CKivNamedLock> m_pLock;
};
