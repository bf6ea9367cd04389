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

// The longest start of s that is at most nMax long (KivNameLength), cut on a character boundary.
// Names from the medium may be very long: the length is summed character by character.
std::string FitPrefix(const std::string& s, size_t nMax) {
    size_t nLen = 0;
    for (size_t i = 0; i < s.size();) {
        size_t j = i + 1;
        while (j < s.size() && IsUtf8Continuation(s[j])) ++j;
        nLen += KivNameLength(s.substr(i, j - i));
        if (nLen > nMax) return s.substr(0, i);
        i = j;
    }
    return s;
}

// Splits a name at the dot of its extension (none for a leading dot or no dot).
size_t ExtensionAt(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name.size() : dot;
}

// The last component of path and where it starts.
size_t ComponentAt(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string CKivRecoverNames::FitComponent(const std::string& name, size_t nMax) {
    if (KivNameLength(name) <= nMax) return name;
    size_t dot = ExtensionAt(name);
    std::string ext = name.substr(dot);
    // An extension too long to leave room for a stem is no extension worth keeping.
    size_t nExt = KivNameLength(ext);
    if (ext.size() > 16 || nExt >= nMax) return FitPrefix(name, nMax);
    std::string stem = FitPrefix(name.substr(0, dot), nMax - nExt);
    return stem.empty() ? FitPrefix(name, nMax) : stem + ext;
}

std::string CKivRecoverNames::SafeComponent(const std::string& name, size_t nMax) {
    if (name.empty() || name == ".") return "#";
    if (name == "..") return "##";
    std::string s = name;
    for (char& c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7F) c = '#';
    }
    // Then what the destination's system refuses (Windows: device names, trailing dots, ...), and
    // what it cannot hold. A cut never leaves a trailing dot or space behind for Windows to drop.
    s = KivDestName(s);
    std::string fit = FitComponent(s, nMax);
    return fit == s ? s : FitComponent(KivDestName(fit), nMax);
}

std::string CKivRecoverNames::TopFolderName(const std::string& name, size_t nMax) {
    std::string s = SafeComponent(name, nMax);
    for (char& c : s)
        if (std::strchr("\"*/:<>?\\|", c) && c) c = '#';
    return s;
}

std::string CKivRecoverNames::NumberedPath(const std::string& path, unsigned n, size_t nMax) {
    size_t nameStart = ComponentAt(path);
    std::string name = path.substr(nameStart);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) dot = name.size();
    char num[16];
    std::snprintf(num, sizeof num, "_%03u", n);
    std::string stem = name.substr(0, dot), ext = name.substr(dot);
    size_t nFixed = KivNameLength(num) + KivNameLength(ext);
    if (KivNameLength(stem) + nFixed > nMax && nFixed < nMax) stem = FitPrefix(stem, nMax - nFixed);
    return path.substr(0, nameStart) + stem + num + ext;
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

std::string CKivRecoverNames::MakeNewFolder(const std::string& path, size_t nMax) {
    if (KivMakeDir(path)) return path;
    if (errno != EEXIST) return {};
    size_t nameStart = ComponentAt(path);
    for (unsigned n = 0; n <= kMaxNumber; ++n) {
        char num[16];
        std::snprintf(num, sizeof num, "_%03u", n);
        // A folder's dot is no extension: the number goes at the end, the name cut to make room.
        size_t nNum = KivNameLength(num);
        std::string name = path.substr(nameStart);
        if (KivNameLength(name) + nNum > nMax && nNum < nMax) name = FitPrefix(name, nMax - nNum);
        std::string p = path.substr(0, nameStart) + name + num;
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

std::string CKivRecoverNames::NumberedNewFile(const std::string& path, size_t nMax) {
    for (unsigned n = 0; n <= kMaxNumber; ++n) {
        std::string p = NumberedPath(path, n, nMax);
        int err = CreateNew(p);
        if (err == 0) return p;
        if (err != EEXIST) return {};
    }
    return {};
}

std::string CKivRecoverNames::MakeNewFile(const std::string& path, size_t nMax) {
    int err = CreateNew(path);
    if (err == 0) return path;
    return err == EEXIST ? NumberedNewFile(path, nMax) : std::string();
}

std::string CKivRecoverNames::MakeOutputFile(const std::string& folder, const std::string& name,
                                             const std::string& fallback, size_t nMax) {
    if (!folder.empty()) {
        std::string path = folder + "/" + name;
        int err = CreateNew(path);
        if (err == 0) return path;
        if (err == EEXIST) return NumberedNewFile(path, nMax);
        if (err != ENOENT && err != ENOTDIR && err != ENAMETOOLONG) return {};
    }
    return MakeNewFile(fallback + name, nMax);
}
