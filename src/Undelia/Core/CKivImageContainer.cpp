#include "CKivImageContainer.h"

#include <cstring>
#include <map>
#include <mutex>

#include "IKivImageFormats.h"
#include "KivModuleLoader.h"
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
