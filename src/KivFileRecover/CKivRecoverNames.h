// Where recovered entries land: folder and file names made safe for the destination, numbered
// variants when a name is taken, and the folders created on the way. Names from the scanned
// medium are hostile: nothing derived from them may leave the destination folder.
#pragma once

#include <string>

class CKivRecoverNames {
public:
    // Longest name component written (bytes); leaves room for a "_%03d" number.
    static constexpr size_t kMaxComponent = 250;

    // A name as one path component: '/' and control characters become '#', "", "." and ".."
    // become "#", "#", "##", and an over-long name is shortened (keeping its extension) on a
    // UTF-8 character boundary.
    static std::string SafeComponent(const std::string& name);
    // The top folder of a directory recovery: SafeComponent, and each of " * : < > ? \ | replaced
    // by '#' as well.
    static std::string TopFolderName(const std::string& name);

    // path with "_%03d" (n) inserted before the extension of its last component.
    static std::string NumberedPath(const std::string& path, unsigned n);

    // Creates the folder path (and its parents) when missing. False when it cannot be made.
    static bool MakeFolderPath(const std::string& path);
    // Creates path as a new folder, or its first free "%s_%03d" variant; answers the folder made,
    // empty when none could be.
    static std::string MakeNewFolder(const std::string& path);

    // Creates a new empty file for an entry named name (already made safe) in folder, falling back
    // to fallback (which ends with '/') when folder is empty, missing or the path too long, and
    // numbering the name when it is taken. Answers the path made, empty on failure (errno then
    // holds the error of the last attempt).
    static std::string MakeOutputFile(const std::string& folder, const std::string& name, const std::string& fallback);

    // Creates path as a new empty file, or its first free numbered variant; answers the path made,
    // empty on failure.
    static std::string MakeNewFile(const std::string& path);

private:
    // 0 when made, else the errno of the attempt.
    static int CreateNew(const std::string& path);
    static std::string NumberedNewFile(const std::string& path);
};
