// Lookups in result trees and file reading shared by the file-system tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KivScanResult.h"

namespace kivtest {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);  // UTF-8 on Windows too
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Child of pDir by name (null when absent).
inline IKivFileNode* Child(IKivFileNode* pDir, const std::string& name) {
    for (IKivFileNode* c = pDir ? pDir->GetFirstChild() : nullptr; c; c = c->GetNextSibling())
        if (c->GetAttr() && name == c->GetAttr()->GetName()) return c;
    return nullptr;
}

// Node at a '/'-separated path below pRoot.
inline IKivFileNode* Find(IKivFileNode* pRoot, const std::string& path) {
    IKivFileNode* p = pRoot;
    size_t pos = 0;
    while (p && pos <= path.size()) {
        size_t e = path.find('/', pos);
        if (e == std::string::npos) e = path.size();
        p = Child(p, path.substr(pos, e - pos));
        pos = e + 1;
    }
    return p;
}

// Every path (folders end with '/') below pDir, for failure messages.
inline std::string Dump(IKivFileNode* pDir, const std::string& prefix = "") {
    std::string s;
    for (IKivFileNode* c = pDir->GetFirstChild(); c; c = c->GetNextSibling()) {
        IKivFileAttr* a = c->GetAttr();
        std::string name = prefix + a->GetName();
        s += name + ((a->GetAttributes() & 0x10) ? "/" : "") + " [" + std::to_string(a->GetRecordState()) + "]\n";
        if (c->GetFirstChild()) s += Dump(c, name + "/");
    }
    return s;
}

}  // namespace kivtest
