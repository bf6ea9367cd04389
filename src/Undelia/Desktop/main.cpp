#include "CUndeliaApp.h"

int main(int argc, char** argv) {
    CUndeliaApp app(argc, argv);
    return app.Run();
}
