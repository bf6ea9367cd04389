// Component base, result codes and the factory contract shared by the program and every library.
#pragma once

#include <cstdint>

#include "platform/KivExport.h"

// 32-bit result code: source line (bits 31..20), module number (19..12), error number (11..0).
// Success is an error number of 0; callers test nothing but the low 12 bits.
using KivResult = uint32_t;

constexpr KivResult KIV_OK = 0;
constexpr KivResult KIV_FAIL = 0xFFFFFFFFu;  // "not found" of the ini loader

// Module numbers.
enum : uint32_t {
    KIV_MOD_LOG = 0x01,
    KIV_MOD_ENUMDEV = 0x10,
    KIV_MOD_SCANDEV = 0x11,
    KIV_MOD_UI = 0x12,
    KIV_MOD_FILTER = 0x13,
    KIV_MOD_SRVCONN = 0x17,
    KIV_MOD_RECOVER = 0xF0,
    KIV_MOD_TEST = 0xFF,
};

// Error numbers with a meaning shared across modules.
enum : uint32_t {
    KIV_E_BIND = 0x001,         // library, entry or thread could not be had
    KIV_E_INVALIDARG = 0x002,   // a required pointer argument was null / bad input
    KIV_E_STATE = 0x003,        // asked in the wrong state
    KIV_E_INITSTATE = 0x004,    // engine: already / not initialised
    KIV_E_NOOBJ = 0x005,        // a component or object could not be created
    KIV_E_REGISTRY = 0x010,
    KIV_E_NOTREE = 0x015,
    KIV_E_TIMEOUT = 0x01E,
    KIV_E_IO = 0x020,           // open / read of a device or file failed
    KIV_E_NOTFOUND = 0x030,     // a named file or device does not exist
    KIV_E_NOTFILE = 0x031,      // a path names a folder or something else that holds no data
    KIV_E_EMPTY = 0x032,        // a file or device of size 0
    KIV_E_SECTORSIZE = 0x033,   // a sector size that is not a positive multiple of 512
    KIV_E_WRITABLEFD = 0x034,   // a descriptor handed over for reading could also write
};

constexpr KivResult KivMakeCode(uint32_t line, uint32_t module, uint32_t err) {
    return ((line & 0xFFFu) << 20) | ((module & 0xFFu) << 12) | (err & 0xFFFu);
}
constexpr uint32_t KivErrNo(KivResult code) { return code & 0xFFFu; }
constexpr uint32_t KivModuleOf(KivResult code) { return (code >> 12) & 0xFFu; }
constexpr uint32_t KivLineOf(KivResult code) { return code >> 20; }
constexpr bool KivSucceeded(KivResult code) { return KivErrNo(code) == 0; }
constexpr bool KivFailed(KivResult code) { return KivErrNo(code) != 0; }

// Base of every component interface. The count starts at 1 (the creator's reference); the last
// Release deletes the object inside the library that made it. Counts are plain integers: an
// object shared with a worker thread is kept alive by its owner for the life of that thread.
class IKivCommon {
public:
    IKivCommon() = default;
    IKivCommon(const IKivCommon&) = delete;
    IKivCommon& operator=(const IKivCommon&) = delete;
    virtual ~IKivCommon() = default;
    virtual int32_t AddRef() { return ++m_nRef; }
    virtual int32_t Release() {
        int32_t n = --m_nRef;
        if (n < 1) delete this;
        return n;
    }

protected:
    int32_t m_nRef = 1;
};


// The one export of every library.
using PFN_KivDllQueryInterface = KivResult (*)(const char* pszName, IKivCommon** ppOut);

// Releases a component pointer and clears it.
template <class T>
inline void KivSafeRelease(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}
