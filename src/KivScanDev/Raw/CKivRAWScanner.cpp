#include "IKivFsScanner.h"

IKivFsScanner* CreateRawScanner() { return nullptr; }
