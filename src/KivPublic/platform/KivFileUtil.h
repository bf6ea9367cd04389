// File-system helpers of the platform layer. Paths are UTF-8 with '/' between names (a Windows
// build also takes '\'). A failing call leaves the system's reason in errno, mapped to the POSIX
// numbers (EEXIST, ENOENT, ENOSPC, ENAMETOOLONG, EACCES, ...) on every platform.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whether c separates names in a path: '/', and on Windows '\\' as well.
inline bool KivIsPathSep(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// Errors after which a destination takes no further file: full, over quota, read-only. (Windows
// reports a quota as a full disk.)
inline bool KivIsDestFullErrno(int e) {
#ifdef EDQUOT
    if (e == EDQUOT) return true;
#endif
    return e == ENOSPC || e == EROFS;
}

// The path made absolute against the current folder (as it stands; nothing is resolved); empty
// when the current folder is not known.
std::string KivAbsolutePath(const std::string& path);

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
// Deletes an empty folder.
bool KivRemoveDir(const std::string& dir);
// Bytes the calling user may still write into the file system that holds the folder.
bool KivFreeBytes(const std::string& dir, uint64_t* pBytes);
// Whether the calling user may create files in the folder.
bool KivCanWriteDir(const std::string& dir);

// Sets a file's times (Windows file times; 0 leaves that time as it is), not following a link.
// Linux keeps no settable creation time: nCreate is ignored there.
bool KivSetFileTimes(const std::string& path, uint64_t nCreate, uint64_t nAccess, uint64_t nWrite);
// Sets the attributes a recovered file keeps (KIV_FA_* bits: read-only 0x01, hidden 0x02, system
// 0x04). Linux has only read-only, as a file without write permission.
bool KivSetFileAttributes(const std::string& path, uint32_t nAttrs);
// Makes strDest a genuine encrypted file from the raw import stream in strStream (the format of
// Windows' raw backup of encrypted files), when the destination's file system can hold one (NTFS on
// Windows). False, with errno ENOTSUP, where there is no such import (Linux, other file systems).
bool KivImportEncryptedRaw(const std::string& strStream, const std::string& strDest);

// One name as the destination's system takes it: Windows refuses the device names (CON, NUL,
// COM1, ... with any extension), trailing dots and spaces and the characters < > : " \ | ? *,
// which become '#' (a trailing '#' for dots and spaces, "_" before a device name); Linux takes
// every name but '/' and NUL. The name itself when nothing had to change.
std::string KivDestName(const std::string& name);

// Longest name one component may have in the file system that holds the folder, counted as
// KivNameLength counts; 255 when the system cannot tell.
size_t KivNameMax(const std::string& dir);
// A name's length as the destination's system limits it: bytes on Linux, UTF-16 units on Windows.
size_t KivNameLength(const std::string& name);
