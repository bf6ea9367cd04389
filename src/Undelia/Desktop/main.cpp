#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include "CDataBackstage.h"
#include "CUndeliaApp.h"
#include "KivUDisksOpener.h"

namespace {

// While udisks2 waits for polkit (and the user for the password), the window keeps painting.
// Clicks and keys wait until the device is open: nothing may start a second open meanwhile.
void PaintWhileWaiting() {
    QCoreApplication* pApp = QCoreApplication::instance();
    if (pApp && QThread::currentThread() == pApp->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 8);
}

}  // namespace

int main(int argc, char** argv) {
    // Made before the back-stage so that it outlives it. Without root, raw disks are opened
    // read-only by udisks2, which asks polkit (and the user, through the session's agent).
    static CKivUDisksOpener s_opener;
    s_opener.SetWaitHook(&PaintWhileWaiting);
    s_opener.SetAdminHint("reading raw disks needs administrator rights, which udisks2 asks for when it runs: "
                          "install and start udisks2, or add your user to group 'disk' and log in again, or "
                          "image the disk first and open the image");
    if (::geteuid() != 0) CDataBackstage::Get().SetDevOpener(&s_opener);
    CUndeliaApp app(argc, argv);
    return app.Run();
}
