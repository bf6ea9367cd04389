// Who opens the block devices a user's program may not open itself: udisks2 on Linux for a user
// (nobody for root, who opens everything); nobody on Windows, where reading raw disks takes
// running as administrator.
#pragma once

#include <string>

class IKivDevOpener;

// Null when there is none. Not owned.
IKivDevOpener* KivUserDevOpener();
// Why the opener last failed; empty when it did not (or there is none).
std::string KivUserDevOpenerReason();
