#include "CKivImageContainer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "IKivDevStor.h"
#include "IKivImageFormats.h"
#include "KivModuleLoader.h"
#include "platform/KivDigest.h"
#include "platform/KivFileUtil.h"

namespace {

IKivImageFormats* Formats() {
    return static_cast<IKivImageFormats*>(KivLoadModule("KivEnumDevEx", KIV_IID_IMAGEFORMATS));
}

std::string Field(const char* p, size_t n) { return std::string(p, strnlen(p, n)); }

}  // namespace

KivImageDescription CKivImageContainer::Describe(const std::string& strPath) {
    KivImageDescription d;
    IKivImageFormats* p = Formats();
    if (!p) {
        d.strWhy = "the device library KivEnumDevEx cannot be loaded";
        return d;
    }
    KivImageInfo info{};
    uint32_t nNeed = 0;
    KivResult rc = p->Describe(strPath.c_str(), &info, nullptr, 0, &nNeed);
    std::vector<char> files;
    if (KivSucceeded(rc) && nNeed) {
        files.assign(nNeed, '\0');
        rc = p->Describe(strPath.c_str(), &info, files.data(), nNeed, &nNeed);
    }
    p->Release();
    d.strFormat = Field(info.szFormat, sizeof info.szFormat);
    if (KivFailed(rc)) {
        d.strWhy = Field(info.szWhy, sizeof info.szWhy);
        if (d.strWhy.empty()) d.strWhy = "error " + std::to_string(KivErrNo(rc));
        return d;
    }
    d.bOk = true;
    d.strDetail = Field(info.szDetail, sizeof info.szDetail);
    d.nBytes = info.nBytes;
    d.nSectorSize = info.nSectorSize;
    d.strMd5 = Field(info.szMd5, sizeof info.szMd5);
    d.strSha1 = Field(info.szSha1, sizeof info.szSha1);
    for (size_t i = 0; i < files.size();) {
        size_t e = i;
        while (e < files.size() && files[e]) ++e;
        if (e > i) d.files.emplace_back(files.data() + i, e - i);
        i = e + 1;
    }
    if (d.files.empty()) d.files.push_back(strPath);
    return d;
}

std::vector<std::string> CKivImageContainer::Files(const std::string& strPath) {
    uint64_t nSize = 0;
    // A device or a missing file is only itself (devices are never looked into here).
    if (!KivIsFile(strPath) || !KivFileSize(strPath, &nSize)) return {strPath};
    static std::mutex mtx;
    static std::map<std::pair<std::string, uint64_t>, std::vector<std::string>> cache;
    {
        std::lock_guard<std::mutex> g(mtx);
        auto it = cache.find({strPath, nSize});
        if (it != cache.end()) return it->second;
    }
    KivImageDescription d = Describe(strPath);
    std::vector<std::string> files = d.bOk ? d.files : std::vector<std::string>{strPath};
    std::lock_guard<std::mutex> g(mtx);
    cache[{strPath, nSize}] = files;
    return files;
}

std::string CKivImageContainer::FormatsText() {
    IKivImageFormats* p = Formats();
    if (!p) return "the device library KivEnumDevEx cannot be loaded\n";
    uint32_t nNeed = 0;
    p->ListFormats(nullptr, 0, &nNeed);
    std::vector<char> buf(nNeed ? nNeed : 1, '\0');
    p->ListFormats(buf.data(), static_cast<uint32_t>(buf.size()), nullptr);
    p->Release();
    return std::string(buf.data());
}

bool CKivImageContainer::Verify(IKivDevStor* pStor, KivImageDescription* pDesc, std::string* pWhy) {
    if (!pStor || !pDesc || (pDesc->strMd5.empty() && pDesc->strSha1.empty())) {
        if (pWhy) *pWhy = "the image stores no MD5 or SHA-1 digest of its disk";
        return false;
    }
    CKivDigest md5(CKivDigest::Kind::kMd5), sha1(CKivDigest::Kind::kSha1);
    const uint32_t z = pStor->GetSectorSize();
    const uint64_t nSectors = pStor->GetSectorCount();
    const uint64_t nBytes = pDesc->nBytes ? pDesc->nBytes : nSectors * z;
    const uint64_t nStep = std::max<uint64_t>(1, (4u << 20) / z);
    std::vector<uint8_t> buf(size_t(nStep * z));
    for (uint64_t s = 0, nDone = 0; s < nSectors; s += nStep) {
        uint64_t n = std::min(nStep, nSectors - s);
        if (!pStor->ReadSectors(buf.data(), s, n)) std::fill(buf.begin(), buf.end(), 0);
        // The digest covers the disk's bytes, not the padding of a short last sector.
        size_t nTake = size_t(std::min<uint64_t>(n * z, nBytes - nDone));
        md5.Add(buf.data(), nTake);
        sha1.Add(buf.data(), nTake);
        nDone += nTake;
    }
    auto hex = [](const std::vector<uint8_t>& v) {
        static const char kDigits[] = "0123456789abcdef";
        std::string out;
        for (uint8_t b : v) out += {kDigits[b >> 4], kDigits[b & 15]};
        return out;
    };
    std::string m = hex(md5.Finish()), h = hex(sha1.Finish());
    if (m.empty() || h.empty()) {
        if (pWhy) *pWhy = "the digests cannot be computed here";
        return false;
    }
    if (!pDesc->strMd5.empty()) pDesc->nMd5Match = m == pDesc->strMd5 ? 1 : 0;
    if (!pDesc->strSha1.empty()) pDesc->nSha1Match = h == pDesc->strSha1 ? 1 : 0;
    return true;
}
