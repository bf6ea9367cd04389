// Opens a device through udisks2 as the desktop program does, with a wait hook, and prints what
// came of it: "opened, <n> waits" or "failed: <reason>". Exit 0 when it opened read-only.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "KivUDisksOpener.h"

namespace {

unsigned g_nWaits = 0;
void OnWait() { ++g_nWaits; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: udisks-wait-probe DEVICE\n");
        return 2;
    }
    CKivUDisksOpener opener;
    opener.SetWaitHook(&OnWait);
    char szWhy[512] = {};
    int fd = opener.OpenReadOnly(argv[1], szWhy, sizeof szWhy);
    if (fd < 0) {
        std::printf("failed: %s\n", szWhy);
        return 1;
    }
    bool bReadOnly = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY;
    ::close(fd);
    std::printf("opened%s, %u waits\n", bReadOnly ? "" : " for writing", g_nWaits);
    return bReadOnly ? 0 : 1;
}
