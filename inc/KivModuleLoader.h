// Run-time binding of a library by module name: "<module>.so" beside the executable.
#pragma once

#include "KivCommon.h"

// Loads the module, asks its factory for pszInterface. Error 0x001 when the file or the export is
// missing, 0x002 when ppOut is null; an unknown interface answers 0 with a null object.
KivResult KivLoadModule(const char* pszModule, const char* pszInterface, IKivCommon** ppOut);

// Convenience form: the object, or null when anything failed.
IKivCommon* KivLoadModule(const char* pszModule, const char* pszInterface);
