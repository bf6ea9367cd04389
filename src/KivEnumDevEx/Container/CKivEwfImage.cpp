#include "CKivEwfImage.h"

#include <sys/types.h>

#include <cerrno>
#include <cstdio>

#include "CKivYalImage.h"
#include "platform/KivFileUtil.h"

namespace {

// The entries of libewf (20140813) used here, as its header declares them.
struct EwfApi : KivYalApi {
    int (*glob)(const char*, size_t, uint8_t, char***, int*, void**) = nullptr;
    int (*glob_free)(char**, int, void**) = nullptr;
    int (*handle_initialize)(void**, void**) = nullptr;
    int (*handle_free)(void**, void**) = nullptr;
    int (*handle_open)(void*, char* const*, int, int, void**) = nullptr;
    int (*handle_close)(void*, void**) = nullptr;
    int (*handle_segment_files_corrupted)(void*, void**) = nullptr;
    ssize_t (*handle_read_random)(void*, void*, size_t, int64_t, void**) = nullptr;
    int (*handle_get_media_size)(void*, uint64_t*, void**) = nullptr;
    int (*handle_get_bytes_per_sector)(void*, uint32_t*, void**) = nullptr;
    int (*handle_get_md5_hash)(void*, uint8_t*, size_t, void**) = nullptr;
    int (*handle_get_sha1_hash)(void*, uint8_t*, size_t, void**) = nullptr;
    int (*handle_set_read_zero_chunk_on_error)(void*, uint8_t, void**) = nullptr;
    int (*handle_get_number_of_checksum_errors)(void*, uint32_t*, void**) = nullptr;
    int (*handle_get_checksum_error)(void*, uint32_t, uint64_t*, uint64_t*, void**) = nullptr;
};

constexpr int kAccessRead = 0x01;     // LIBEWF_ACCESS_FLAG_READ
constexpr uint8_t kFormatUnknown = 0;  // LIBEWF_FORMAT_UNKNOWN: glob by the name's own extension

bool Bind(EwfApi& a, std::string& w) {
    return KivYalBind(a.lib, a.glob, "libewf_glob", &w) & KivYalBind(a.lib, a.glob_free, "libewf_glob_free", &w) &
           KivYalBind(a.lib, a.handle_initialize, "libewf_handle_initialize", &w) &
           KivYalBind(a.lib, a.handle_free, "libewf_handle_free", &w) &
           KivYalBind(a.lib, a.handle_open, "libewf_handle_open", &w) &
           KivYalBind(a.lib, a.handle_close, "libewf_handle_close", &w) &
           KivYalBind(a.lib, a.handle_segment_files_corrupted, "libewf_handle_segment_files_corrupted", &w) &
           KivYalBind(a.lib, a.handle_read_random, "libewf_handle_read_random", &w) &
           KivYalBind(a.lib, a.handle_get_media_size, "libewf_handle_get_media_size", &w) &
           KivYalBind(a.lib, a.handle_get_bytes_per_sector, "libewf_handle_get_bytes_per_sector", &w) &
           KivYalBind(a.lib, a.handle_get_md5_hash, "libewf_handle_get_md5_hash", &w) &
           KivYalBind(a.lib, a.handle_get_sha1_hash, "libewf_handle_get_sha1_hash", &w) &
           KivYalBind(a.lib, a.handle_set_read_zero_chunk_on_error, "libewf_handle_set_read_zero_chunk_on_error", &w) &
           KivYalBind(a.lib, a.handle_get_number_of_checksum_errors, "libewf_handle_get_number_of_checksum_errors", &w) &
           KivYalBind(a.lib, a.handle_get_checksum_error, "libewf_handle_get_checksum_error", &w) &
           a.BindErrors("libewf");
}

EwfApi& Api() {
    return KivYalLoadOnce<EwfApi>("ewf", {"libewf.so.2", "libewf.so", "libewf.dll", "libewf-2.dll"}, Bind);
}

std::string Hex(const uint8_t* p, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

// EnCase names its segments .E01 ... .E99, then .EAA ... : the next name after strPath.
std::string NextSegmentName(const std::string& strPath) {
    if (strPath.size() < 4) return {};
    std::string s = strPath;
    char& c1 = s[s.size() - 2];
    char& c2 = s[s.size() - 1];
    if (c1 >= '0' && c1 <= '9' && c2 >= '0' && c2 <= '9') {
        int n = (c1 - '0') * 10 + (c2 - '0') + 1;
        if (n > 99) return {};
        c1 = static_cast<char>('0' + n / 10);
        c2 = static_cast<char>('0' + n % 10);
        return s;
    }
    return {};
}

}  // namespace

bool CKivEwfImage::Available(std::string* pWhy) { return Api().Available(pWhy); }

std::unique_ptr<CKivContainer> CKivEwfImage::Open(const std::string& strPath, bool bEx01, std::string* pWhy) {
    EwfApi& a = Api();
    if (!a.bOk) {
        if (pWhy) *pWhy = "this build lacks the E01 format: " + a.strWhy;
        return nullptr;
    }
    void* pErr = nullptr;
    char** ppNames = nullptr;
    int nNames = 0;
    if (a.glob(strPath.c_str(), strPath.size(), kFormatUnknown, &ppNames, &nNames, &pErr) != 1 || nNames <= 0) {
        if (pWhy) *pWhy = "cannot find the segment files of " + strPath + ": " + a.ErrorText(pErr);
        return nullptr;
    }
    std::unique_ptr<CKivEwfImage> p(new CKivEwfImage());
    for (int i = 0; i < nNames; ++i) p->m_info.files.emplace_back(ppNames[i]);
    bool bOpened = a.handle_initialize(&p->m_pHandle, &pErr) == 1 &&
                   a.handle_open(p->m_pHandle, ppNames, nNames, kAccessRead, &pErr) == 1;
    a.glob_free(ppNames, nNames, nullptr);
    if (!bOpened) {
        std::string why = a.ErrorText(pErr);
        // libewf names what it lacks only vaguely: a gap in the segment numbers says it plainly.
        std::string next = NextSegmentName(p->m_info.files.back());
        if (pWhy)
            *pWhy = "cannot open " + strPath + " (" + std::to_string(nNames) + " segment file" + (nNames == 1 ? "" : "s") +
                    " found): " + why + (next.empty() ? "" : "; is " + next + " missing?");
        return nullptr;
    }
    // libewf opens a set whose later segments are lost and reads what they held as errors: a
    // set is whole when no segment is missing between those found and its last chunk reads.
    std::string next = NextSegmentName(p->m_info.files.back());
    if (!next.empty() && KivIsFile(NextSegmentName(next))) {
        if (pWhy) *pWhy = "the segment file " + next + " of " + strPath + " is missing";
        return nullptr;
    }
    uint64_t nBytes = 0;
    uint32_t nSector = 0;
    if (a.handle_get_media_size(p->m_pHandle, &nBytes, &pErr) != 1 ||
        a.handle_get_bytes_per_sector(p->m_pHandle, &nSector, &pErr) != 1) {
        if (pWhy) *pWhy = strPath + ": " + a.ErrorText(pErr);
        return nullptr;
    }
    // Segments lost from the end leave a set libewf opens but calls corrupted.
    if (a.handle_segment_files_corrupted(p->m_pHandle, nullptr) == 1) {
        if (pWhy)
            *pWhy = "the segment files of " + strPath + " are incomplete or damaged" +
                    (next.empty() ? "" : " (is " + next + " missing?)");
        return nullptr;
    }
    p->m_info.strFormat = bEx01 ? "Ex01" : "E01";
    p->m_info.nBytes = nBytes;
    p->m_info.nSectorSize = nSector && nSector % 512 == 0 && nSector <= 65536 ? nSector : 512;
    p->m_info.strDetail = std::to_string(nNames) + " segment file" + (nNames == 1 ? "" : "s");
    uint8_t md5[16], sha1[20];
    if (a.handle_get_md5_hash(p->m_pHandle, md5, sizeof md5, nullptr) == 1) p->m_info.strMd5 = Hex(md5, sizeof md5);
    if (a.handle_get_sha1_hash(p->m_pHandle, sha1, sizeof sha1, nullptr) == 1) p->m_info.strSha1 = Hex(sha1, sizeof sha1);
    a.handle_set_read_zero_chunk_on_error(p->m_pHandle, 1, nullptr);
    return p;
}

CKivEwfImage::~CKivEwfImage() {
    EwfApi& a = Api();
    if (m_pHandle) {
        a.handle_close(m_pHandle, nullptr);
        a.handle_free(&m_pHandle, nullptr);
    }
}

int64_t CKivEwfImage::DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    EwfApi& a = Api();
    void* pErr = nullptr;
    ssize_t r = a.handle_read_random(m_pHandle, pBuf, nBytes, static_cast<int64_t>(nOffset), &pErr);
    if (r < 0) {
        a.ErrorText(pErr);
        errno = EIO;
        return -1;
    }
    LearnDamage();
    return r;
}

void CKivEwfImage::LearnDamage() {
    EwfApi& a = Api();
    uint32_t n = 0;
    if (a.handle_get_number_of_checksum_errors(m_pHandle, &n, nullptr) != 1) return;
    for (; m_nErrorsSeen < n; ++m_nErrorsSeen) {
        uint64_t nFirst = 0, nCount = 0;
        if (a.handle_get_checksum_error(m_pHandle, m_nErrorsSeen, &nFirst, &nCount, nullptr) != 1) continue;
        uint64_t z = m_info.nSectorSize, b = 0, e = 0;
        // A range that cannot be placed covers the rest of the disk: never good by mistake.
        if (__builtin_mul_overflow(nFirst, z, &b) || __builtin_add_overflow(nFirst, nCount, &e) ||
            __builtin_mul_overflow(e, z, &e) || e < b)
            e = ~0ull;
        if (b >= m_info.nBytes) continue;
        m_damaged.emplace_back(b, e);
    }
}

bool CKivEwfImage::DoDamaged(uint64_t nOffset, uint64_t nBytes, std::vector<std::pair<uint64_t, uint64_t>>* pOut) {
    // A chunk libewf has in hand is not checked again, so what failed once is remembered here.
    bool bAny = false;
    for (const auto& [b, e] : m_damaged)
        if (b < nOffset + nBytes && nOffset < e) {
            bAny = true;
            if (pOut) pOut->emplace_back(b, e);
        }
    return bAny;
}
