// Windows: no one opens devices for the user; an access refused tells them to run as administrator.
#include "platform/KivUserDevOpener.h"

IKivDevOpener* KivUserDevOpener() { return nullptr; }

std::string KivUserDevOpenerReason() { return {}; }
