#include "CKivImageFormats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "KivContainerOpen.h"
#include "KivLog.h"

namespace {

void CopyText(char* pDest, size_t nSize, const std::string& s) {
    size_t n = std::min(s.size(), nSize - 1);
    std::memcpy(pDest, s.data(), n);
    pDest[n] = '\0';
}

}  // namespace

KivResult CKivImageFormats::Describe(const char* pszPath, KivImageInfo* pInfo, char* pszFiles, uint32_t nFilesSize,
                                     uint32_t* pnFilesBytes) {
    if (!pszPath || !*pszPath || !pInfo) return KIV_RETERR(KIV_E_INVALIDARG);
    std::memset(pInfo, 0, sizeof *pInfo);
    std::string path = pszPath;
    std::vector<std::string> files{path};
    struct stat st{};
    if (::stat(pszPath, &st) != 0) {
        CopyText(pInfo->szWhy, sizeof pInfo->szWhy, path + " does not exist");
        return KIV_RETERR(KIV_E_NOTFOUND);
    }
    // A device is never sniffed: its first sectors may be the damaged ones.
    KivImageKind kind = S_ISREG(st.st_mode) ? KivSniffImage(path) : KivImageKind::kRaw;
    if (kind == KivImageKind::kRaw) {
        CopyText(pInfo->szFormat, sizeof pInfo->szFormat, "raw");
        pInfo->nBytes = static_cast<uint64_t>(st.st_size);
        pInfo->nSectorSize = 512;
    } else {
        std::string why;
        std::unique_ptr<CKivContainer> p = KivOpenContainer(path, kind, &why);
        if (!p) {
            KivLogA(0, "Describe: %s", why.c_str());
            CopyText(pInfo->szFormat, sizeof pInfo->szFormat, KivImageKindName(kind));
            CopyText(pInfo->szWhy, sizeof pInfo->szWhy, why);
            return KivContainerFailure(why);
        }
        const CKivContainer::Info& info = p->GetInfo();
        CopyText(pInfo->szFormat, sizeof pInfo->szFormat, info.strFormat);
        CopyText(pInfo->szDetail, sizeof pInfo->szDetail, info.strDetail);
        CopyText(pInfo->szMd5, sizeof pInfo->szMd5, info.strMd5);
        CopyText(pInfo->szSha1, sizeof pInfo->szSha1, info.strSha1);
        pInfo->nBytes = info.nBytes;
        pInfo->nSectorSize = info.nSectorSize;
        files = info.files;
    }
    pInfo->nFiles = static_cast<uint32_t>(files.size());
    std::string all;
    for (const std::string& f : files) all.append(f).push_back('\0');
    if (pnFilesBytes) *pnFilesBytes = static_cast<uint32_t>(all.size());
    if (pszFiles && nFilesSize) {
        if (all.size() > nFilesSize) {
            std::memset(pszFiles, 0, nFilesSize);
            return KIV_RETERR(KIV_E_INVALIDARG);
        }
        std::memcpy(pszFiles, all.data(), all.size());
    }
    return KIV_OK;
}

KivResult CKivImageFormats::ListFormats(char* pszOut, uint32_t nSize, uint32_t* pnBytes) {
    std::string text = KivContainerFormats();
    if (pnBytes) *pnBytes = static_cast<uint32_t>(text.size() + 1);
    if (!pszOut || nSize == 0) return KIV_OK;
    if (text.size() + 1 > nSize) {
        CopyText(pszOut, nSize, text);
        return KIV_RETERR(KIV_E_INVALIDARG);
    }
    CopyText(pszOut, nSize, text);
    return KIV_OK;
}
