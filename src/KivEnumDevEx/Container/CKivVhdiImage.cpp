#include "CKivVhdiImage.h"

#include "CKivAllocMap.h"
#include "KivYalLib.h"

namespace {

struct VhdiApi : KivYalChainApi {
    int (*file_get_bytes_per_sector)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_file_type)(void*, int*, void**) = nullptr;
    int (*file_get_disk_type)(void*, uint32_t*, void**) = nullptr;
    int (*file_get_utf8_parent_filename_size)(void*, size_t*, void**) = nullptr;
    int (*file_get_utf8_parent_filename)(void*, uint8_t*, size_t, void**) = nullptr;
};

constexpr int kFileTypeVhdx = 2;   // LIBVHDI_FILE_TYPE_VHDX
constexpr uint32_t kDiskFixed = 2, kDiskDynamic = 3, kDiskDifferencing = 4;

bool Bind(VhdiApi& a, std::string& w) {
    return a.BindChain("libvhdi", "file", "set_parent_file") &
           KivYalBind(a.lib, a.file_get_bytes_per_sector, "libvhdi_file_get_bytes_per_sector", &w) &
           KivYalBind(a.lib, a.file_get_file_type, "libvhdi_file_get_file_type", &w) &
           KivYalBind(a.lib, a.file_get_disk_type, "libvhdi_file_get_disk_type", &w) &
           KivYalBind(a.lib, a.file_get_utf8_parent_filename_size, "libvhdi_file_get_utf8_parent_filename_size", &w) &
           KivYalBind(a.lib, a.file_get_utf8_parent_filename, "libvhdi_file_get_utf8_parent_filename", &w);
}

VhdiApi& Api() {
    return KivYalLoadOnce<VhdiApi>("vhdi", {"libvhdi.so.1", "libvhdi.so", "libvhdi.dll", "libvhdi-1.dll"}, Bind);
}

}  // namespace

CKivVhdiImage::CKivVhdiImage() : CKivYalImage(Api()) {}

bool CKivVhdiImage::Available(std::string* pWhy) { return Api().Available(pWhy); }

std::unique_ptr<CKivContainer> CKivVhdiImage::Open(const std::string& strPath, std::string* pWhy) {
    VhdiApi& a = Api();
    if (!a.bOk) {
        if (pWhy) *pWhy = "this build lacks the VHD and VHDX formats: " + a.strWhy;
        return nullptr;
    }
    std::unique_ptr<CKivVhdiImage> p(new CKivVhdiImage());
    std::string path = strPath;
    std::string strKind;
    int nType = 0;
    for (int nDepth = 0;; ++nDepth) {
        if (!p->OpenInChain(path, pWhy)) return nullptr;
        void* pFile = p->m_chain.back();
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
        if (!FitsChain(parent, p->m_info.files, nDepth, "the parent disk of the differencing disk " + path + " is missing",
                       "the differencing disk " + path + " has a parent chain that loops or is too long", pWhy))
            return nullptr;
        path = parent;
    }
    // Each file reads over its parent: set from the root upwards.
    auto unfit = [&](size_t i) {
        return "the parent disk " + p->m_info.files[i] + " does not fit " + p->m_info.files[i - 1];
    };
    if (!p->LinkChain(unfit, pWhy)) return nullptr;
    uint64_t nBytes = 0;
    uint32_t nSector = 0;
    if (!p->MediaSize(strPath, &nBytes, pWhy)) return nullptr;
    a.file_get_bytes_per_sector(p->m_chain[0], &nSector, nullptr);
    p->m_info.strFormat = nType == kFileTypeVhdx ? "VHDX" : "VHD";
    p->m_info.strDetail = strKind;
    p->m_info.nBytes = nBytes;
    p->m_info.nSectorSize = nSector && nSector % 512 == 0 && nSector <= 4096 ? nSector : 512;
    p->m_pMap = CKivAllocMap::Read(p->m_info.files, nType == kFileTypeVhdx ? CKivAllocMap::kVhdx : CKivAllocMap::kVhd, nBytes);
    return p;
}
