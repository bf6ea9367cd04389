#include "CKivQcowImage.h"

#include <sys/types.h>

#include <cerrno>
#include <mutex>

#include "CKivAllocMap.h"
#include "KivYalLib.h"
#include "platform/KivFileUtil.h"

namespace {

struct QcowApi {
    CKivDynLib lib;
    int (*file_initialize)(void**, void**) = nullptr;
    int (*file_free)(void**, void**) = nullptr;
    int (*file_open)(void*, const char*, int, void**) = nullptr;
    int (*file_close)(void*, void**) = nullptr;
    ssize_t (*file_read_buffer_at_offset)(void*, void*, size_t, int64_t, void**) = nullptr;
    int (*file_get_media_size)(void*, uint64_t*, void**) = nullptr;
    int (*file_get_format_version)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_encryption_method)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_utf8_backing_filename_size)(void*, size_t*, void**) = nullptr;
    int (*file_get_utf8_backing_filename)(void*, uint8_t*, size_t, void**) = nullptr;
    int (*file_set_parent_file)(void*, void*, void**) = nullptr;
    KivYalSprint error_sprint = nullptr;
    KivYalFree error_free = nullptr;
    bool bOk = false;
    std::string strWhy;
};

constexpr int kAccessRead = 0x01;  // LIBQCOW_ACCESS_FLAG_READ
constexpr int kMaxChain = 16;

QcowApi& Api() {
    static QcowApi api;
    static std::once_flag once;
    std::call_once(once, [] {
        QcowApi& a = api;
        std::string& w = a.strWhy;
        if (!KivYalLoad(a.lib, "qcow", {"libqcow.so.1", "libqcow.so", "libqcow.dll", "libqcow-1.dll"}, &w)) return;
        a.bOk = KivYalBind(a.lib, a.file_initialize, "libqcow_file_initialize", &w) &
                KivYalBind(a.lib, a.file_free, "libqcow_file_free", &w) &
                KivYalBind(a.lib, a.file_open, "libqcow_file_open", &w) &
                KivYalBind(a.lib, a.file_close, "libqcow_file_close", &w) &
                KivYalBind(a.lib, a.file_read_buffer_at_offset, "libqcow_file_read_buffer_at_offset", &w) &
                KivYalBind(a.lib, a.file_get_media_size, "libqcow_file_get_media_size", &w) &
                KivYalBind(a.lib, a.file_get_format_version, "libqcow_file_get_format_version", &w) &
                KivYalBind(a.lib, a.file_get_encryption_method, "libqcow_file_get_encryption_method", &w) &
                KivYalBind(a.lib, a.file_get_utf8_backing_filename_size, "libqcow_file_get_utf8_backing_filename_size", &w) &
                KivYalBind(a.lib, a.file_get_utf8_backing_filename, "libqcow_file_get_utf8_backing_filename", &w) &
                KivYalBind(a.lib, a.file_set_parent_file, "libqcow_file_set_parent_file", &w) &
                KivYalBind(a.lib, a.error_sprint, "libqcow_error_sprint", &w) &
                KivYalBind(a.lib, a.error_free, "libqcow_error_free", &w);
    });
    return api;
}

}  // namespace

bool CKivQcowImage::Available(std::string* pWhy) {
    QcowApi& a = Api();
    if (!a.bOk && pWhy) *pWhy = a.strWhy;
    return a.bOk;
}

std::unique_ptr<CKivContainer> CKivQcowImage::Open(const std::string& strPath, std::string* pWhy) {
    QcowApi& a = Api();
    if (!a.bOk) {
        if (pWhy) *pWhy = "this build lacks the QCOW2 format: " + a.strWhy;
        return nullptr;
    }
    std::unique_ptr<CKivQcowImage> p(new CKivQcowImage());
    void* pErr = nullptr;
    std::string path = strPath;
    uint32_t nVersion = 0;
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
        uint32_t nCrypt = 0;
        if (a.file_get_encryption_method(pFile, &nCrypt, nullptr) == 1 && nCrypt != 0) {
            if (pWhy) *pWhy = path + " is encrypted; encrypted QCOW images are not read";
            return nullptr;
        }
        if (nDepth == 0) a.file_get_format_version(pFile, &nVersion, nullptr);
        size_t nName = 0;
        if (a.file_get_utf8_backing_filename_size(pFile, &nName, nullptr) != 1 || nName <= 1) break;
        if (nName > 65536) {
            if (pWhy) *pWhy = path + " names a backing file of absurd length";
            return nullptr;
        }
        std::string name(nName, '\0');
        if (a.file_get_utf8_backing_filename(pFile, reinterpret_cast<uint8_t*>(name.data()), nName, nullptr) != 1) break;
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
        std::string parent = KivYalBeside(path, name);
        if (!KivIsFile(parent)) {
            if (pWhy) *pWhy = "the backing file of " + path + " is missing (looked for " + parent + ")";
            return nullptr;
        }
        for (const std::string& f : p->m_info.files)
            if (f == parent || nDepth + 1 >= kMaxChain) {
                if (pWhy) *pWhy = path + " has a chain of backing files that loops or is too long";
                return nullptr;
            }
        path = parent;
    }
    for (size_t i = p->m_chain.size(); i-- > 1;)
        if (a.file_set_parent_file(p->m_chain[i - 1], p->m_chain[i], &pErr) != 1) {
            if (pWhy) *pWhy = "the backing file " + p->m_info.files[i] + " of " + p->m_info.files[i - 1] + " cannot be used: " +
                              KivYalErrorText(pErr, a.error_sprint, a.error_free);
            return nullptr;
        }
    uint64_t nBytes = 0;
    if (a.file_get_media_size(p->m_chain[0], &nBytes, &pErr) != 1) {
        if (pWhy) *pWhy = strPath + ": " + KivYalErrorText(pErr, a.error_sprint, a.error_free);
        return nullptr;
    }
    p->m_info.strFormat = nVersion == 1 ? "QCOW" : "QCOW2";
    p->m_info.strDetail = p->m_chain.size() > 1 ? "over a backing file" : "";
    p->m_info.nBytes = nBytes;
    p->m_pMap = CKivAllocMap::Read(p->m_info.files, CKivAllocMap::kQcow, nBytes);
    return p;
}

CKivQcowImage::~CKivQcowImage() {
    QcowApi& a = Api();
    for (size_t i = 0; i < m_chain.size(); ++i) {
        a.file_close(m_chain[i], nullptr);
        a.file_free(&m_chain[i], nullptr);
    }
}

int64_t CKivQcowImage::DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    QcowApi& a = Api();
    void* pErr = nullptr;
    ssize_t r = a.file_read_buffer_at_offset(m_chain[0], pBuf, nBytes, static_cast<int64_t>(nOffset), &pErr);
    if (r < 0) {
        KivYalErrorText(pErr, a.error_sprint, a.error_free);
        errno = EIO;
        return -1;
    }
    return r;
}

bool CKivQcowImage::DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) {
    return m_pMap && m_pMap->FindData(nOffset, pData, pEnd);
}
