// Binding the field's container libraries (libewf, libvhdi, libvmdk, libqcow) at run time. Their
// calls share one shape: handles and errors are opaque pointers, and a call answers 1 on success,
// 0 for "not present" and -1 on failure with an error object the caller frees. The few calls used
// are declared by their readers, so no headers of the libraries are needed to build.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>

#include "platform/KivDynLib.h"

// Loads the library known by pszShort ("ewf", "vhdi", "vmdk", "qcow") under one of its file names.
// UNDELIA_IMAGE_LIBS, when set, names the only ones to load ("ewf,qcow"; empty: none), so a
// machine can be told to do without one. False with the reason.
bool KivYalLoad(CKivDynLib& lib, const char* pszShort, std::initializer_list<const char*> names, std::string* pWhy);

// A reader's table of entries (with lib, strWhy and bOk), loaded on first use: pfnBind binds the
// entries once the library is loaded and answers whether all of them were.
template <typename Api>
Api& KivYalLoadOnce(const char* pszShort, std::initializer_list<const char*> names, bool (*pfnBind)(Api&, std::string&)) {
    static Api api;
    static std::once_flag once;
    std::call_once(once, [&] {
        if (KivYalLoad(api.lib, pszShort, names, &api.strWhy)) api.bOk = pfnBind(api, api.strWhy);
    });
    return api;
}

// Binds one entry; false (and the name that is missing in *pWhy) when the library lacks it.
template <typename Fn>
bool KivYalBind(const CKivDynLib& lib, Fn*& pfn, const char* pszName, std::string* pWhy) {
    pfn = reinterpret_cast<Fn*>(lib.Symbol(pszName));
    if (!pfn && pWhy && pWhy->empty()) *pWhy = lib.Name() + " lacks " + pszName;
    return pfn != nullptr;
}

using KivYalSprint = int (*)(void* pErr, char* psz, size_t n);
using KivYalFree = int (*)(void** ppErr);
// The text of a library error (its last line, the one that says what failed); frees the error.
std::string KivYalErrorText(void*& pErr, KivYalSprint pfnSprint, KivYalFree pfnFree);

// The folder part of a path ("." when it has none) and a name resolved beside a file: an absolute
// name as it stands when it exists, else its last component in the folder of strBeside.
std::string KivYalDirOf(const std::string& strPath);
std::string KivYalBeside(const std::string& strBeside, const std::string& strName);
