#include "IKivFsScanner.h"

IKivFsScanner* CreateFatScanner() { return nullptr; }
