// Shared log writer: every component of every process appends to the two log files beside the
// program, one whole line at a time.
#pragma once

#include <cstdarg>

#include "KivCommon.h"

#ifndef KIV_MODULE_NUMBER
#error "each deliverable compiles the shared sources with its own KIV_MODULE_NUMBER"
#endif

// Appends "<prefix><text>\r\n" to the UTF-16LE log. The level is ignored.
void KivLogW(int nLevel, const wchar_t* pszFormat, ...);
// Same for the narrow (UTF-8) log.
void KivLogA(int nLevel, const char* pszFormat, ...) KIV_PRINTF_FORMAT(2, 3);

// Logs "[owner:tag] : return error 0x%8X. "<file>", Line <n>." and answers nCode unchanged.
KivResult LogError(KivResult nCode, const char* pszFile, const char* pszOperation, int nLine);

// A code of this module with this error number, tagged with the raising line.
#define KIV_ERR(err) KivMakeCode(static_cast<uint32_t>(__LINE__), KIV_MODULE_NUMBER, (err))
// Logs a code at this site and answers it.
#define KIV_LOGERR(code) LogError((code), __FILE__, __func__, __LINE__)
// Makes, logs and answers an error of this module.
#define KIV_RETERR(err) KIV_LOGERR(KIV_ERR(err))
