#include "CKivRecoverNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"

namespace {

// Numbered variants tried before giving up. Going past 999 keeps an existing "_999" file from
// being overwritten.
constexpr unsigned kMaxNumber = 99999;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// At most n bytes of s, cut on a character boundary.
std::string Utf8Prefix(const std::string& s, size_t n) {
    if (s.size() <= n) return s;
    while (n > 0 && IsUtf8Continuation(s[n])) --n;
    return s.substr(0, n);
}

}  // namespace

std::string CKivRecoverNames::SafeComponent(const std::string& name) {
    if (name.empty() || name == ".") return "#";
    if (name == "..") return "##";
    std::string s = name;
    for (char& c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7F) c = '#';
    }
    if (s.size() > kMaxComponent) {
        size_t dot = s.rfind('.');
        std::string ext = (dot != std::string::npos && s.size() - dot <= 16) ? s.substr(dot) : std::string();
        s = Utf8Prefix(s.substr(0, s.size() - ext.size()), kMaxComponent - ext.size()) + ext;
    }
    // Then what the destination's system refuses (Windows: device names, trailing dots, ...).
    return KivDestName(s);
}

std::string CKivRecoverNames::TopFolderName(const std::string& name) {
    std::string s = SafeComponent(name);
    for (char& c : s)
        if (std::strchr("\"*/:<>?\\|", c) && c) c = '#';
    return s;
}

std::string CKivRecoverNames::NumberedPath(const std::string& path, unsigned n) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    char num[16];
    std::snprintf(num, sizeof num, "_%03u", n);
    return path.substr(0, dot) + num + path.substr(dot);
}

bool CKivRecoverNames::MakeFolderPath(const std::string& path) {
    if (path.empty()) return false;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !KivIsPathSep(path[i])) continue;
        std::string part = path.substr(0, i);
        // A drive root ("C:") is there already and cannot be made.
        if (part.size() == 2 && part[1] == ':') continue;
        if (!KivMakeDir(part) && errno != EEXIST) return false;
    }
    return KivIsDir(path);
}

std::string CKivRecoverNames::MakeNewFolder(const std::string& path) {
    if (KivMakeDir(path)) return path;
    if (errno != EEXIST) return {};
    for (unsigned n = 0; n <= kMaxNumber; ++n) {
        char num[16];
        std::snprintf(num, sizeof num, "_%03u", n);
        std::string p = path + num;
        if (KivMakeDir(p)) return p;
        if (errno != EEXIST) return {};
    }
    return {};
}

int CKivRecoverNames::CreateNew(const std::string& path) {
    CKivFile f;
    if (!f.Open(path, CKivFile::Mode::kCreateNew, true)) return errno;
    return 0;
}

std::string CKivRecoverNames::NumberedNewFile(const std::string& path) {
    for (unsigned n = 0; n <= kMaxNumber; ++n) {
        std::string p = NumberedPath(path, n);
        int err = CreateNew(p);
        if (err == 0) return p;
        if (err != EEXIST) return {};
    }
    return {};
}

std::string CKivRecoverNames::MakeNewFile(const std::string& path) {
    int err = CreateNew(path);
    if (err == 0) return path;
    return err == EEXIST ? NumberedNewFile(path) : std::string();
}

std::string CKivRecoverNames::MakeOutputFile(const std::string& folder, const std::string& name,
                                             const std::string& fallback) {
    if (!folder.empty()) {
        std::string path = folder + "/" + name;
        int err = CreateNew(path);
        if (err == 0) return path;
        if (err == EEXIST) return NumberedNewFile(path);
        if (err != ENOENT && err != ENOTDIR && err != ENAMETOOLONG) return {};
    }
    return MakeNewFile(fallback + name);
}
