// GUIDs from the system's random bytes, the same on every system.
#include "platform/KivRandom.h"

bool KivCreateGuid(KivGuid* pGuid) {
    if (!pGuid || !KivRandomBytes(pGuid, sizeof(*pGuid))) return false;
    // RFC 4122 version 4, variant 10xx, as system GUID generators make them.
    pGuid->Data3 = static_cast<uint16_t>((pGuid->Data3 & 0x0FFF) | 0x4000);
    pGuid->Data4[0] = static_cast<uint8_t>((pGuid->Data4[0] & 0x3F) | 0x80);
    return true;
}
