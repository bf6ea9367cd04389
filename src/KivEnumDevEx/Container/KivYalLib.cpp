#include "KivYalLib.h"

#include <cstdlib>
#include <vector>

#include "platform/KivFileUtil.h"

bool KivYalLoad(CKivDynLib& lib, const char* pszShort, std::initializer_list<const char*> names, std::string* pWhy) {
    if (const char* pszOnly = std::getenv("UNDELIA_IMAGE_LIBS")) {
        std::string only = std::string(",") + pszOnly + ",";
        if (only.find(std::string(",") + pszShort + ",") == std::string::npos) {
            if (pWhy) *pWhy = std::string("lib") + pszShort + " left out by UNDELIA_IMAGE_LIBS";
            return false;
        }
    }
    std::string why;
    if (lib.Load(names, &why)) return true;
    if (pWhy) *pWhy = std::string(*names.begin()) + " is not installed (" + why + ")";
    return false;
}

std::string KivYalErrorText(void*& pErr, KivYalSprint pfnSprint, KivYalFree pfnFree) {
    if (!pErr) return "unknown error";
    std::vector<char> buf(4096, 0);
    std::string text;
    if (pfnSprint && pfnSprint(pErr, buf.data(), buf.size()) > 0) text.assign(buf.data());
    if (pfnFree) pfnFree(&pErr);
    pErr = nullptr;
    // The libraries print a back trace, innermost call first, one line each; the first says what.
    while (!text.empty() && (text.back() == '\n' || text.back() == '.')) text.pop_back();
    size_t nl = text.find('\n');
    if (nl != std::string::npos) text.resize(nl);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text.empty() ? "unknown error" : text;
}

std::string KivYalDirOf(const std::string& strPath) {
    size_t slash = strPath.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : strPath.substr(0, slash);
}

std::string KivYalBeside(const std::string& strBeside, const std::string& strName) {
    if (strName.empty()) return strName;
    bool bAbsolute = strName[0] == '/' || (strName.size() > 2 && strName[1] == ':');
    if (bAbsolute && KivPathExists(strName)) return strName;
    size_t slash = strName.find_last_of("/\\");
    std::string leaf = slash == std::string::npos ? strName : strName.substr(slash + 1);
    // Relative names (".\parent.vhd", "base.qcow2", "sub/x.vmdk") are taken from the child's folder.
    std::string rel = bAbsolute ? leaf : strName;
    for (char& c : rel)
        if (c == '\\') c = '/';
    if (rel.rfind("./", 0) == 0) rel.erase(0, 2);
    std::string cand = KivYalDirOf(strBeside) + "/" + rel;
    if (KivPathExists(cand)) return cand;
    return KivYalDirOf(strBeside) + "/" + leaf;
}
