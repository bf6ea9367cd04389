// File-system helpers of the platform layer. Paths are UTF-8 with '/' between names (a Windows
// build also takes '\'). A failing call leaves the system's reason in errno, mapped to the POSIX
// numbers (EEXIST, ENOENT, ENOSPC, ENAMETOOLONG, EACCES, ...) on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Folder part of a '/' path ("/" for a top-level entry, empty when there is no '/').
std::string KivDirOf(const std::string& path);
// Creates a folder and its missing parents (mode 0700); true when it exists afterwards.
bool KivMakeDirs(const std::string& dir);
// "<$XDG var or ~/homeSub>/undelia", created when missing; empty when no home is known.
std::string KivUserDir(const char* pszXdgVar, const char* pszHomeSub);
// Writes all n bytes (retrying short writes and EINTR); false on any failure.
bool KivWriteAll(int fd, const void* pData, size_t n);

// What a path names. KivPathTypeOf looks at a symbolic link itself, not at what it points to.
enum class KivPathType { kNone, kFile, kDir, kOther };
KivPathType KivPathTypeOf(const std::string& path);
bool KivPathExists(const std::string& path);
// A folder or a regular file, following symbolic links.
bool KivIsDir(const std::string& path);
bool KivIsFile(const std::string& path);
// Size of a regular file (links followed); false when it is none.
bool KivFileSize(const std::string& path, uint64_t* pBytes);

// The names in a folder, without "." and "..", in the order the system gives them.
bool KivListDir(const std::string& dir, std::vector<std::string>* pNames);
// Creates one folder (its parent must exist); fails with EEXIST when the name is taken.
bool KivMakeDir(const std::string& dir);
// Renames a file or folder; a file already at strTo is replaced.
bool KivRenamePath(const std::string& strFrom, const std::string& strTo);
// Deletes a file (not a folder).
bool KivRemoveFile(const std::string& path);
// Bytes the calling user may still write into the file system that holds the folder.
bool KivFreeBytes(const std::string& dir, uint64_t* pBytes);
// Whether the calling user may create files in the folder.
bool KivCanWriteDir(const std::string& dir);
