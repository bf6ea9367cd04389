// Result codes of the recovery module: they carry its own module number.
#pragma once

#include "KivCommon.h"
#include "KivLog.h"

inline KivResult KivRecoverCode(int nLine, uint32_t nErr) {
    return KivMakeCode(static_cast<uint32_t>(nLine), KIV_MOD_RECOVER, nErr);
}
// Makes, logs (under the operation name given) and answers a recovery error.
#define KIV_RECOVER_FAIL(err, op) LogError(KivRecoverCode(__LINE__, (err)), __FILE__, (op), __LINE__)
