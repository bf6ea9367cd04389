#include "KivLog.h"

void KivLogW(int, const wchar_t*, ...) {}
void KivLogA(int, const char*, ...) {}
KivResult LogError(KivResult nCode, const char*, const char*, int) { return nCode; }
