#include "CKivVmdkImage.h"

#include <algorithm>
#include "CKivAllocMap.h"
#include "KivYalLib.h"
#include "platform/KivFileUtil.h"

namespace {

struct VmdkApi : KivYalChainApi {
    int (*handle_open_extent_data_files)(void*, void**) = nullptr;
    int (*handle_set_extent_data_files_path)(void*, const char*, size_t, void**) = nullptr;
    int (*handle_get_disk_type)(void*, int*, void**) = nullptr;
    int (*handle_get_utf8_parent_filename_size)(void*, size_t*, void**) = nullptr;
    int (*handle_get_utf8_parent_filename)(void*, uint8_t*, size_t, void**) = nullptr;
    int (*handle_get_number_of_extents)(void*, int*, void**) = nullptr;
    int (*handle_get_extent_descriptor)(void*, int, void**, void**) = nullptr;
    int (*extent_descriptor_get_utf8_filename_size)(void*, size_t*, void**) = nullptr;
    int (*extent_descriptor_get_utf8_filename)(void*, uint8_t*, size_t, void**) = nullptr;
    int (*extent_descriptor_free)(void**, void**) = nullptr;
};

constexpr int kAccessRead = 0x01;  // LIBVMDK_ACCESS_FLAG_READ
constexpr int kMaxExtents = 4096;

bool Bind(VmdkApi& a, std::string& w) {
    return a.BindChain("libvmdk", "handle", "set_parent_handle") &
           KivYalBind(a.lib, a.handle_open_extent_data_files, "libvmdk_handle_open_extent_data_files", &w) &
           KivYalBind(a.lib, a.handle_set_extent_data_files_path, "libvmdk_handle_set_extent_data_files_path", &w) &
           KivYalBind(a.lib, a.handle_get_disk_type, "libvmdk_handle_get_disk_type", &w) &
           KivYalBind(a.lib, a.handle_get_utf8_parent_filename_size, "libvmdk_handle_get_utf8_parent_filename_size", &w) &
           KivYalBind(a.lib, a.handle_get_utf8_parent_filename, "libvmdk_handle_get_utf8_parent_filename", &w) &
           KivYalBind(a.lib, a.handle_get_number_of_extents, "libvmdk_handle_get_number_of_extents", &w) &
           KivYalBind(a.lib, a.handle_get_extent_descriptor, "libvmdk_handle_get_extent_descriptor", &w) &
           KivYalBind(a.lib, a.extent_descriptor_get_utf8_filename_size, "libvmdk_extent_descriptor_get_utf8_filename_size", &w) &
           KivYalBind(a.lib, a.extent_descriptor_get_utf8_filename, "libvmdk_extent_descriptor_get_utf8_filename", &w) &
           KivYalBind(a.lib, a.extent_descriptor_free, "libvmdk_extent_descriptor_free", &w);
}

VmdkApi& Api() {
    return KivYalLoadOnce<VmdkApi>("vmdk", {"libvmdk.so.1", "libvmdk.so", "libvmdk.dll", "libvmdk-1.dll"}, Bind);
}

const char* DiskTypeName(int n) {
    switch (n) {
        case 1: return "split flat";
        case 2: return "split sparse";
        case 6: return "monolithic flat";
        case 7: return "monolithic sparse";
        case 8: return "stream-optimized";
        default: return "";
    }
}

std::string Utf8(void* p, int (*pfnSize)(void*, size_t*, void**), int (*pfnGet)(void*, uint8_t*, size_t, void**)) {
    size_t n = 0;
    if (pfnSize(p, &n, nullptr) != 1 || n <= 1 || n > 65536) return {};
    std::string s(n, '\0');
    if (pfnGet(p, reinterpret_cast<uint8_t*>(s.data()), n, nullptr) != 1) return {};
    s.resize(s.find('\0') == std::string::npos ? s.size() : s.find('\0'));
    return s;
}

}  // namespace

CKivVmdkImage::CKivVmdkImage() : CKivYalImage(Api()) {}

bool CKivVmdkImage::Available(std::string* pWhy) { return Api().Available(pWhy); }

void* CKivVmdkImage::OpenOne(const std::string& strPath, std::vector<std::string>* pFiles, int* pnType, std::string* pWhy) {
    VmdkApi& a = Api();
    void* h = NewHandle(pWhy);
    if (!h) return nullptr;
    void* pErr = nullptr;
    std::string dir = KivYalDirOf(strPath);
    bool bOk = a.open(h, strPath.c_str(), kAccessRead, &pErr) == 1;
    if (!bOk && pWhy) *pWhy = "cannot open " + strPath + ": " + a.ErrorText(pErr);
    pFiles->push_back(strPath);
    // The extent files the descriptor names, before opening them, so a missing one is named.
    int nExtents = 0;
    if (bOk && a.handle_get_number_of_extents(h, &nExtents, nullptr) == 1)
        for (int i = 0; i < nExtents && i < kMaxExtents; ++i) {
            void* pDesc = nullptr;
            if (a.handle_get_extent_descriptor(h, i, &pDesc, nullptr) != 1 || !pDesc) continue;
            std::string name = Utf8(pDesc, a.extent_descriptor_get_utf8_filename_size, a.extent_descriptor_get_utf8_filename);
            a.extent_descriptor_free(&pDesc, nullptr);
            if (name.empty()) continue;
            std::string file = KivYalBeside(strPath, name);
            if (!KivIsFile(file)) {
                if (pWhy) *pWhy = "the extent file " + file + " of " + strPath + " is missing";
                bOk = false;
                break;
            }
            if (std::find(pFiles->begin(), pFiles->end(), file) == pFiles->end()) pFiles->push_back(file);
        }
    if (bOk && (a.handle_set_extent_data_files_path(h, dir.c_str(), dir.size(), &pErr) != 1 ||
                a.handle_open_extent_data_files(h, &pErr) != 1)) {
        if (pWhy) *pWhy = "cannot open the extent files of " + strPath + ": " + a.ErrorText(pErr);
        bOk = false;
    }
    if (!bOk) {
        a.close(h, nullptr);
        a.free(&h, nullptr);
        return nullptr;
    }
    *pnType = 0;
    a.handle_get_disk_type(h, pnType, nullptr);
    return h;
}

std::unique_ptr<CKivContainer> CKivVmdkImage::Open(const std::string& strPath, std::string* pWhy) {
    VmdkApi& a = Api();
    if (!a.bOk) {
        if (pWhy) *pWhy = "this build lacks the VMDK format: " + a.strWhy;
        return nullptr;
    }
    std::unique_ptr<CKivVmdkImage> p(new CKivVmdkImage());
    std::string path = strPath;
    int nType = 0;
    std::vector<std::string> heads;  // the descriptor of each disk of the chain
    for (int nDepth = 0;; ++nDepth) {
        int n = 0;
        void* h = p->OpenOne(path, &p->m_info.files, &n, pWhy);
        if (!h) return nullptr;
        p->m_chain.push_back(h);
        heads.push_back(path);
        if (nDepth == 0) nType = n;
        std::string name = Utf8(h, a.handle_get_utf8_parent_filename_size, a.handle_get_utf8_parent_filename);
        if (name.empty()) break;
        std::string parent = KivYalBeside(path, name);
        if (!FitsChain(parent, heads, nDepth, "the parent disk of " + path + " is missing",
                       path + " has a chain of parent disks that loops or is too long", pWhy))
            return nullptr;
        path = parent;
    }
    auto unfit = [&](size_t i) {
        return "the parent disk " + heads[i] + " of " + heads[i - 1] + " cannot be used";
    };
    if (!p->LinkChain(unfit, pWhy)) return nullptr;
    uint64_t nBytes = 0;
    if (!p->MediaSize(strPath, &nBytes, pWhy)) return nullptr;
    p->m_info.strFormat = "VMDK";
    p->m_info.strDetail = DiskTypeName(nType);
    p->m_info.nBytes = nBytes;
    // Holes are known for one monolithic sparse file without parents.
    if (nType == 7 && p->m_chain.size() == 1) p->m_pMap = CKivAllocMap::Read({strPath}, CKivAllocMap::kVmdk, nBytes);
    return p;
}
