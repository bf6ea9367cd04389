// undelia-cli with the hooks the session tests need, set from this program's environment; the
// shipped program has none of them.
//   UNDELIA_TEST_STOP_AFTER_BLOCKS=n  every scan stops after n blocks, as the user's stop there would
//   UNDELIA_TEST_KILL_AFTER_SAVE=n    the process is killed right after the n-th save of the
//                                     session file, as a crash would end it
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "CProgressScan.h"
#include "CliSession.h"

int main(int argc, char** argv) {
    if (const char* p = std::getenv("UNDELIA_TEST_STOP_AFTER_BLOCKS"); p && *p)
        CProgressScan::SetTestStopAfterBlocks(std::strtoull(p, nullptr, 10));
    if (const char* p = std::getenv("UNDELIA_TEST_KILL_AFTER_SAVE"); p && *p) {
        uint64_t nKillAt = std::strtoull(p, nullptr, 10);
        CliSession::SetTestAfterSave([nKillAt](uint64_t n) {
            if (n == nKillAt) ::kill(::getpid(), SIGKILL);
        });
    }
    return CliMain(argc, argv);
}
