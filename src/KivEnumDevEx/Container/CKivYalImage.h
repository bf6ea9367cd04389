// What the readers over the field's container libraries share: the loaded library with its error
// calls, and for the chained formats (QCOW, VHD, VMDK) the handle of each disk of the chain, the
// read through the first, and the map of where the chain stores data.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CKivContainer.h"
#include "KivYalLib.h"

// A library and its error calls; a reader's table of entries derives from it.
struct KivYalApi {
    CKivDynLib lib;
    KivYalSprint error_sprint = nullptr;
    KivYalFree error_free = nullptr;
    bool bOk = false;
    std::string strWhy;

    // Binds <pszLib>_error_sprint and <pszLib>_error_free.
    bool BindErrors(const char* pszLib);
    // The text of a library error; frees it.
    std::string ErrorText(void*& pErr) const { return KivYalErrorText(pErr, error_sprint, error_free); }
    // Whether the library is there; *pWhy says why not.
    bool Available(std::string* pWhy) const;
};

// The entries a chained format's handle (libqcow's and libvhdi's "file", libvmdk's "handle") has alike.
struct KivYalChainApi : KivYalApi {
    int (*initialize)(void**, void**) = nullptr;
    int (*free)(void**, void**) = nullptr;
    int (*open)(void*, const char*, int, void**) = nullptr;
    int (*close)(void*, void**) = nullptr;
    ssize_t (*read_buffer_at_offset)(void*, void*, size_t, int64_t, void**) = nullptr;
    int (*get_media_size)(void*, uint64_t*, void**) = nullptr;
    int (*set_parent)(void*, void*, void**) = nullptr;

    // Binds the entries above and the error calls: pszLib "libqcow", pszHandle "file", pszParent
    // the name of the set-parent call after the handle ("set_parent_file").
    bool BindChain(const char* pszLib, const char* pszHandle, const char* pszParent);
};

class CKivYalImage : public CKivContainer {
public:
    ~CKivYalImage() override;  // closes and frees the chain

protected:
    explicit CKivYalImage(const KivYalChainApi& api);

    // A new handle, not yet open; null with the library's reason.
    void* NewHandle(std::string* pWhy);
    // Opens strPath for reading into a new handle appended to the chain and the image's files.
    bool OpenInChain(const std::string& strPath, std::string* pWhy);
    // Sets each handle of the chain to read over the next, from the root upwards; on failure
    // *pWhy is pfnWhy(i) (the handle i - 1 did not take the handle i) and the library's reason.
    bool LinkChain(const std::function<std::string(size_t)>& pfnWhy, std::string* pWhy);
    // Whether parent can follow the disks seen (nDepth + 1 of them) in a chain: it must be a file
    // (else *pWhy is strMissing and where it was looked for) and neither one of them nor past the
    // longest chain believed (else *pWhy is strLoop).
    static bool FitsChain(const std::string& parent, const std::vector<std::string>& seen, int nDepth,
                          const std::string& strMissing, const std::string& strLoop, std::string* pWhy);
    // The virtual disk's size, read from the first handle; strPath names the image in the reason.
    bool MediaSize(const std::string& strPath, uint64_t* pnBytes, std::string* pWhy);

    int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;
    bool DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) override;

    const KivYalChainApi& m_api;
    std::vector<void*> m_chain;  // the disk, then its parents
    std::unique_ptr<class CKivAllocMap> m_pMap;  // where the chain stores data, when known
};
