#include "CKivVhdiImage.h"

#include <sys/types.h>

#include <cerrno>
#include <mutex>

#include "CKivAllocMap.h"
#include "KivYalLib.h"
#include "platform/KivFileUtil.h"

namespace {

struct VhdiApi {
    CKivDynLib lib;
    int (*file_initialize)(void**, void**) = nullptr;
    int (*file_free)(void**, void**) = nullptr;
    int (*file_open)(void*, const char*, int, void**) = nullptr;
    int (*file_close)(void*, void**) = nullptr;
    ssize_t (*file_read_buffer_at_offset)(void*, void*, size_t, int64_t, void**) = nullptr;
    int (*file_get_media_size)(void*, uint64_t*, void**) = nullptr;
    int (*file_get_bytes_per_sector)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_file_type)(void*, int*, void**) = nullptr;
    int (*file_get_disk_type)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_utf8_parent_filename_size)(void*, size_t*, void**) = nullptr;
    int (*file_get_utf8_parent_filename)(void*, uint8_t*, size_t, void**) = nullptr;
    int (*file_set_parent_file)(void*, void*, void**) = nullptr;
    KivYalSprint error_sprint = nullptr;
    KivYalFree error_free = nullptr;
    bool bOk = false;
    std::string strWhy;
};

constexpr int kAccessRead = 0x01;  // LIBVHDI_ACCESS_FLAG_READ
constexpr int kFileTypeVhdx = 2;   // LIBVHDI_FILE_TYPE_VHDX
constexpr uint32_t kDiskFixed = 2, kDiskDynamic = 3, kDiskDifferencing = 4;
constexpr int kMaxChain = 16;  // parents of parents: a loop or an absurd chain ends here

VhdiApi& Api() {
    static VhdiApi api;
    static std::once_flag once;
    std::call_once(once, [] {
        VhdiApi& a = api;
        std::string& w = a.strWhy;
        if (!KivYalLoad(a.lib, "vhdi", {"libvhdi.so.1", "libvhdi.so", "libvhdi.dll", "libvhdi-1.dll"}, &w)) return;
        a.bOk = KivYalBind(a.lib, a.file_initialize, "libvhdi_file_initialize", &w) &
                KivYalBind(a.lib, a.file_free, "libvhdi_file_free", &w) &
                KivYalBind(a.lib, a.file_open, "libvhdi_file_open", &w) &
                KivYalBind(a.lib, a.file_close, "libvhdi_file_close", &w) &
                KivYalBind(a.lib, a.file_read_buffer_at_offset, "libvhdi_file_read_buffer_at_offset", &w) &
                KivYalBind(a.lib, a.file_get_media_size, "libvhdi_file_get_media_size", &w) &
                KivYalBind(a.lib, a.file_get_bytes_per_sector, "libvhdi_file_get_bytes_per_sector", &w) &
                KivYalBind(a.lib, a.file_get_file_type, "libvhdi_file_get_file_type", &w) &
                KivYalBind(a.lib, a.file_get_disk_type, "libvhdi_file_get_disk_type", &w) &
                KivYalBind(a.lib, a.file_get_utf8_parent_filename_size, "libvhdi_file_get_utf8_parent_filename_size", &w) &
                KivYalBind(a.lib, a.file_get_utf8_parent_filename, "libvhdi_file_get_utf8_parent_filename", &w) &
                KivYalBind(a.lib, a.file_set_parent_file, "libvhdi_file_set_parent_file", &w) &
                KivYalBind(a.lib, a.error_sprint, "libvhdi_error_sprint", &w) &
                KivYalBind(a.lib, a.error_free, "libvhdi_error_free", &w);
    });
    return api;
}

}  // namespace

bool CKivVhdiImage::Available(std::string* pWhy) {
    VhdiApi& a = Api();
    if (!a.bOk && pWhy) *pWhy = a.strWhy;
    return a.bOk;
}

std::unique_ptr<CKivContainer> CKivVhdiImage::Open(const std::string& strPath, std::string* pWhy) {
    VhdiApi& a = Api();
    if (!a.bOk) {
        if (pWhy) *pWhy = "this build lacks the VHD and VHDX formats: " + a.strWhy;
        return nullptr;
    }
    std::unique_ptr<CKivVhdiImage> p(new CKivVhdiImage());
    void* pErr = nullptr;
    std::string path = strPath;
    std::string strKind;
    int nType = 0;
    for (int nDepth = 0;; ++nDepth) {
        void* pFile = nullptr;
        if (a.file_initialize(&pFile, &pErr) != 1) {
            if (pWhy) *pWhy = KivYalErrorText(pErr, a.error_sprint, a.error_free);
            return nullptr;
        }
        if (a.file_open(pFile, path.c_str(), kAccessRead, &pErr) != 1) {
            a.file_free(&pFile, nullptr);
            if (pWhy) *pWhy = "cannot open " + path + ": " + KivYalErrorText(pErr, a.error_sprint, a.error_free);
            return nullptr;
        }
        p->m_chain.push_back(pFile);
        p->m_info.files.push_back(path);
        uint32_t nDisk = 0;
        a.file_get_disk_type(pFile, &nDisk, nullptr);
        if (nDepth == 0) {
            a.file_get_file_type(pFile, &nType, nullptr);
            strKind = nDisk == kDiskFixed ? "fixed" : nDisk == kDiskDynamic ? "dynamic" : nDisk == kDiskDifferencing ? "differencing" : "";
        }
        if (nDisk != kDiskDifferencing) break;
        size_t nName = 0;
        std::string parent;
        if (a.file_get_utf8_parent_filename_size(pFile, &nName, nullptr) == 1 && nName > 1 && nName < 65536) {
            std::string name(nName, '\0');
            if (a.file_get_utf8_parent_filename(pFile, reinterpret_cast<uint8_t*>(name.data()), nName, nullptr) == 1) {
                name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
                parent = KivYalBeside(path, name);
            }
        }
        if (parent.empty()) {
            if (pWhy) *pWhy = "the differencing disk " + path + " names no parent disk";
            return nullptr;
        }
        if (!KivIsFile(parent)) {
            if (pWhy) *pWhy = "the parent disk of the differencing disk " + path + " is missing (looked for " + parent + ")";
            return nullptr;
        }
        for (const std::string& f : p->m_info.files)
            if (f == parent || nDepth + 1 >= kMaxChain) {
                if (pWhy) *pWhy = "the differencing disk " + path + " has a parent chain that loops or is too long";
                return nullptr;
            }
        path = parent;
    }
    // Each file reads over its parent: set from the root upwards.
    for (size_t i = p->m_chain.size(); i-- > 1;)
        if (a.file_set_parent_file(p->m_chain[i - 1], p->m_chain[i], &pErr) != 1) {
            if (pWhy) *pWhy = "the parent disk " + p->m_info.files[i] + " does not fit " + p->m_info.files[i - 1] + ": " +
                              KivYalErrorText(pErr, a.error_sprint, a.error_free);
            return nullptr;
        }
    uint64_t nBytes = 0;
    uint32_t nSector = 0;
    if (a.file_get_media_size(p->m_chain[0], &nBytes, &pErr) != 1) {
        if (pWhy) *pWhy = strPath + ": " + KivYalErrorText(pErr, a.error_sprint, a.error_free);
        return nullptr;
    }
    a.file_get_bytes_per_sector(p->m_chain[0], &nSector, nullptr);
    p->m_info.strFormat = nType == kFileTypeVhdx ? "VHDX" : "VHD";
    p->m_info.strDetail = strKind;
    p->m_info.nBytes = nBytes;
    p->m_info.nSectorSize = nSector && nSector % 512 == 0 && nSector <= 4096 ? nSector : 512;
    p->m_pMap = CKivAllocMap::Read(p->m_info.files, nType == kFileTypeVhdx ? CKivAllocMap::kVhdx : CKivAllocMap::kVhd, nBytes);
    return p;
}

CKivVhdiImage::~CKivVhdiImage() {
    VhdiApi& a = Api();
    for (size_t i = 0; i < m_chain.size(); ++i) {
        a.file_close(m_chain[i], nullptr);
        a.file_free(&m_chain[i], nullptr);
    }
}

int64_t CKivVhdiImage::DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    VhdiApi& a = Api();
    void* pErr = nullptr;
    ssize_t r = a.file_read_buffer_at_offset(m_chain[0], pBuf, nBytes, static_cast<int64_t>(nOffset), &pErr);
    if (r < 0) {
        KivYalErrorText(pErr, a.error_sprint, a.error_free);
        errno = EIO;
        return -1;
    }
    return r;
}

bool CKivVhdiImage::DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) {
    return m_pMap && m_pMap->FindData(nOffset, pData, pEnd);
}
