#include <windows.h>

#include "CWinUndeliaApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int nShow) {
    CWinUndeliaApp app;
    return app.Run(nShow);
}
