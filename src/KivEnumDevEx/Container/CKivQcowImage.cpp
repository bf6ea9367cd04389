#include "CKivQcowImage.h"

#include "CKivAllocMap.h"
#include "KivYalLib.h"

namespace {

struct QcowApi : KivYalChainApi {
    int (*file_get_format_version)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_encryption_method)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_utf8_backing_filename_size)(void*, size_t*, void**) = nullptr;
    int (*file_get_utf8_backing_filename)(void*, uint8_t*, size_t, void**) = nullptr;
};

bool Bind(QcowApi& a, std::string& w) {
    return a.BindChain("libqcow", "file", "set_parent_file") &
           KivYalBind(a.lib, a.file_get_format_version, "libqcow_file_get_format_version", &w) &
           KivYalBind(a.lib, a.file_get_encryption_method, "libqcow_file_get_encryption_method", &w) &
           KivYalBind(a.lib, a.file_get_utf8_backing_filename_size, "libqcow_file_get_utf8_backing_filename_size", &w) &
           KivYalBind(a.lib, a.file_get_utf8_backing_filename, "libqcow_file_get_utf8_backing_filename", &w);
}

QcowApi& Api() {
    return KivYalLoadOnce<QcowApi>("qcow", {"libqcow.so.1", "libqcow.so", "libqcow.dll", "libqcow-1.dll"}, Bind);
}

}  // namespace

CKivQcowImage::CKivQcowImage() : CKivYalImage(Api()) {}

bool CKivQcowImage::Available(std::string* pWhy) { return Api().Available(pWhy); }

std::unique_ptr<CKivContainer> CKivQcowImage::Open(const std::string& strPath, std::string* pWhy) {
    QcowApi& a = Api();
    if (!a.bOk) {
        if (pWhy) *pWhy = "this build lacks the QCOW2 format: " + a.strWhy;
        return nullptr;
    }
    std::unique_ptr<CKivQcowImage> p(new CKivQcowImage());
    std::string path = strPath;
    uint32_t nVersion = 0;
    for (int nDepth = 0;; ++nDepth) {
        if (!p->OpenInChain(path, pWhy)) return nullptr;
        void* pFile = p->m_chain.back();
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
        if (!FitsChain(parent, p->m_info.files, nDepth, "the backing file of " + path + " is missing",
                       path + " has a chain of backing files that loops or is too long", pWhy))
            return nullptr;
        path = parent;
    }
    auto unfit = [&](size_t i) {
        return "the backing file " + p->m_info.files[i] + " of " + p->m_info.files[i - 1] + " cannot be used";
    };
    if (!p->LinkChain(unfit, pWhy)) return nullptr;
    uint64_t nBytes = 0;
    if (!p->MediaSize(strPath, &nBytes, pWhy)) return nullptr;
    p->m_info.strFormat = nVersion == 1 ? "QCOW" : "QCOW2";
    p->m_info.strDetail = p->m_chain.size() > 1 ? "over a backing file" : "";
    p->m_info.nBytes = nBytes;
    p->m_pMap = CKivAllocMap::Read(p->m_info.files, CKivAllocMap::kQcow, nBytes);
    return p;
}
