// The store's folder, where a handle points and how key paths split: the same on every system.
#include "KivReg.h"

#include <mutex>

namespace {

std::mutex g_dirMutex;
std::string g_storeOverride;

}  // namespace

std::string CKivReg::StoreOverride() {
    std::lock_guard<std::mutex> g(g_dirMutex);
    return g_storeOverride;
}

void CKivReg::SetStoreDir(const std::string& dir) {
    std::lock_guard<std::mutex> g(g_dirMutex);
    g_storeOverride = dir;
}

bool CKivReg::SplitKeyPath(const std::string& path, std::vector<std::string>* pPieces) {
    std::string piece;
    auto flush = [&]() {
        if (piece.empty()) return true;
        if (piece == "." || piece == "..") return false;
        pPieces->push_back(piece);
        piece.clear();
        return true;
    };
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!flush()) return false;
        } else {
            piece += c;
        }
    }
    return flush();
}

void CKivReg::SetRegPath(KivRegRoot root, const char* pszFirstPath, const char* pszSecondPath) {
    m_root = root;
    m_first = pszFirstPath ? pszFirstPath : "";
    m_second = pszSecondPath ? pszSecondPath : "";
}

void CKivReg::Reset() { SetRegPath(KIV_REG_CURRENT_USER, "", ""); }
