#include "CKivYalImage.h"

#include <algorithm>
#include <cerrno>

#include "CKivAllocMap.h"
#include "platform/KivFileUtil.h"

bool KivYalApi::BindErrors(const char* pszLib) {
    std::string l = pszLib;
    return KivYalBind(lib, error_sprint, (l + "_error_sprint").c_str(), &strWhy) &
           KivYalBind(lib, error_free, (l + "_error_free").c_str(), &strWhy);
}

bool KivYalApi::Available(std::string* pWhy) const {
    if (!bOk && pWhy) *pWhy = strWhy;
    return bOk;
}

bool KivYalChainApi::BindChain(const char* pszLib, const char* pszHandle, const char* pszParent) {
    std::string h = std::string(pszLib) + "_" + pszHandle + "_";
    std::string* w = &strWhy;
    return KivYalBind(lib, initialize, (h + "initialize").c_str(), w) & KivYalBind(lib, free, (h + "free").c_str(), w) &
           KivYalBind(lib, open, (h + "open").c_str(), w) & KivYalBind(lib, close, (h + "close").c_str(), w) &
           KivYalBind(lib, read_buffer_at_offset, (h + "read_buffer_at_offset").c_str(), w) &
           KivYalBind(lib, get_media_size, (h + "get_media_size").c_str(), w) &
           KivYalBind(lib, set_parent, (h + pszParent).c_str(), w) & BindErrors(pszLib);
}

namespace {
constexpr int kAccessRead = 0x01;  // the libraries' ACCESS_FLAG_READ
}

CKivYalImage::CKivYalImage(const KivYalChainApi& api) : m_api(api) {}

CKivYalImage::~CKivYalImage() {
    for (size_t i = 0; i < m_chain.size(); ++i) {
        m_api.close(m_chain[i], nullptr);
        m_api.free(&m_chain[i], nullptr);
    }
}

void* CKivYalImage::NewHandle(std::string* pWhy) {
    void* pErr = nullptr;
    void* h = nullptr;
    if (m_api.initialize(&h, &pErr) != 1) {
        if (pWhy) *pWhy = m_api.ErrorText(pErr);
        return nullptr;
    }
    return h;
}

bool CKivYalImage::OpenInChain(const std::string& strPath, std::string* pWhy) {
    void* h = NewHandle(pWhy);
    if (!h) return false;
    void* pErr = nullptr;
    if (m_api.open(h, strPath.c_str(), kAccessRead, &pErr) != 1) {
        m_api.free(&h, nullptr);
        if (pWhy) *pWhy = "cannot open " + strPath + ": " + m_api.ErrorText(pErr);
        return false;
    }
    m_chain.push_back(h);
    m_info.files.push_back(strPath);
    return true;
}

bool CKivYalImage::LinkChain(const std::function<std::string(size_t)>& pfnWhy, std::string* pWhy) {
    void* pErr = nullptr;
    for (size_t i = m_chain.size(); i-- > 1;)
        if (m_api.set_parent(m_chain[i - 1], m_chain[i], &pErr) != 1) {
            if (pWhy) *pWhy = pfnWhy(i) + ": " + m_api.ErrorText(pErr);
            return false;
        }
    return true;
}

bool CKivYalImage::MediaSize(const std::string& strPath, uint64_t* pnBytes, std::string* pWhy) {
    void* pErr = nullptr;
    if (m_api.get_media_size(m_chain[0], pnBytes, &pErr) != 1) {
        if (pWhy) *pWhy = strPath + ": " + m_api.ErrorText(pErr);
        return false;
    }
    return true;
}

int64_t CKivYalImage::DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    void* pErr = nullptr;
    ssize_t r = m_api.read_buffer_at_offset(m_chain[0], pBuf, nBytes, static_cast<int64_t>(nOffset), &pErr);
    if (r < 0) {
        m_api.ErrorText(pErr);
        errno = EIO;
        return -1;
    }
    return r;
}

bool CKivYalImage::DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) {
    return m_pMap && m_pMap->FindData(nOffset, pData, pEnd);
}

bool CKivYalImage::FitsChain(const std::string& parent, const std::vector<std::string>& seen, int nDepth,
                             const std::string& strMissing, const std::string& strLoop, std::string* pWhy) {
    // Parents of parents: a loop or an absurd chain ends here.
    constexpr int kMaxChain = 16;
    if (!KivIsFile(parent)) {
        if (pWhy) *pWhy = strMissing + " (looked for " + parent + ")";
        return false;
    }
    if (std::find(seen.begin(), seen.end(), parent) != seen.end() || nDepth + 1 >= kMaxChain) {
        if (pWhy) *pWhy = strLoop;
        return false;
    }
    return true;
}
