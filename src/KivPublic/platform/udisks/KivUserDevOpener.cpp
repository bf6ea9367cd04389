// Linux: udisks2 opens for a user; root needs nobody.
#include "platform/KivUserDevOpener.h"

#include <unistd.h>

#include "KivUDisksOpener.h"

namespace {
CKivUDisksOpener& Opener() {
    static CKivUDisksOpener s_opener;
    return s_opener;
}
}  // namespace

IKivDevOpener* KivUserDevOpener() { return ::geteuid() == 0 ? nullptr : &Opener(); }

std::string KivUserDevOpenerReason() { return ::geteuid() == 0 ? std::string() : Opener().LastReason(); }
