#include "IKivFsScanner.h"

IKivFsScanner* CreateNtfsScanner() { return nullptr; }
