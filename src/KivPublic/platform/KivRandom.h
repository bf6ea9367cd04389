// Random numbers and GUIDs from the kernel's random source.
#pragma once

#include <cstddef>
#include <cstdint>

// Windows GUID layout: a 32-bit, two 16-bit fields and 8 bytes (16 bytes, little-endian on disk).
struct KivGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(KivGuid) == 16);

// Fills the buffer with random bytes; false when the kernel source fails.
bool KivRandomBytes(void* pBuf, size_t nSize);
// A new random (version 4) GUID; false when no random bytes could be had.
bool KivCreateGuid(KivGuid* pGuid);
