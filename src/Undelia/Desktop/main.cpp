#include <unistd.h>

#include "CDataBackstage.h"
#include "CUndeliaApp.h"
#include "KivUDisksOpener.h"

int main(int argc, char** argv) {
    // Made before the back-stage so that it outlives it. Without root, raw disks are opened
    // read-only by udisks2, which asks polkit (and the user, through the session's agent).
    static CKivUDisksOpener s_opener;
    if (::geteuid() != 0) CDataBackstage::Get().SetDevOpener(&s_opener);
    CUndeliaApp app(argc, argv);
    return app.Run();
}
