// The reader the recovery side uses for a device: 512-byte sectors whatever the device has.
#pragma once

#include "IKivDevStor.h"

// The device itself when its sectors are 512 bytes; otherwise its 512-byte view, made on first use
// and kept (owned) by the device. The answer is borrowed: no reference is added. Null for null.
IKivDevStor* GetRecoverStor(IKivDevStor* pDev);
