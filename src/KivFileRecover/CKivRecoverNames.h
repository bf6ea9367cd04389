// Where recovered entries land: folder and file names made safe for the destination, numbered
// variants when a name is taken, and the folders created on the way. Names from the scanned
// medium are hostile: nothing derived from them may leave the destination folder.
#pragma once

#include <string>

class CKivRecoverNames {
public:
    // Longest name component written when the destination cannot be asked (KivNameMax), counted
    // as the destination counts (KivNameLength).
    static constexpr size_t kMaxComponent = 255;

    // A name as one path component: '/' and control characters become '#', "", "." and ".."
    // become "#", "#", "##", and a name longer than nMax is shortened (keeping its extension) on a
    // UTF-8 character boundary.
    static std::string SafeComponent(const std::string& name, size_t nMax = kMaxComponent);
    // The top folder of a directory recovery: SafeComponent, and each of " * : < > ? \ | replaced
    // by '#' as well.
    static std::string TopFolderName(const std::string& name, size_t nMax = kMaxComponent);
    // name cut to at most nMax (KivNameLength) on a character boundary, its extension kept when
    // that leaves room for some of the stem.
    static std::string FitComponent(const std::string& name, size_t nMax);

    // path with "_%03d" (n) inserted before the extension of its last component, the stem cut so
    // that the component stays within nMax.
    static std::string NumberedPath(const std::string& path, unsigned n, size_t nMax = kMaxComponent);

    // Creates the folder path (and its parents) when missing. False when it cannot be made.
    static bool MakeFolderPath(const std::string& path);
    // Creates path as a new folder, or its first free "%s_%03d" variant (cut to nMax); answers the
    // folder made, empty when none could be.
    static std::string MakeNewFolder(const std::string& path, size_t nMax = kMaxComponent);

    // Creates a new empty file for an entry named name (already made safe) in folder, falling back
    // to fallback (which ends with '/') when folder is empty, missing or the path too long, and
    // numbering the name when it is taken. Answers the path made, empty on failure (errno then
    // holds the error of the last attempt).
    static std::string MakeOutputFile(const std::string& folder, const std::string& name, const std::string& fallback,
                                      size_t nMax = kMaxComponent);

    // Creates path as a new empty file, or its first free numbered variant; answers the path made,
    // empty on failure.
    static std::string MakeNewFile(const std::string& path, size_t nMax = kMaxComponent);

private:
    // 0 when made, else the errno of the attempt.
    static int CreateNew(const std::string& path);
    static std::string NumberedNewFile(const std::string& path, size_t nMax);
};
