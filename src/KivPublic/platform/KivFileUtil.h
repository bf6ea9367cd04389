// Small file-system helpers of the platform layer.
#pragma once

#include <cstddef>
#include <string>

// Folder part of a '/' path ("/" for a top-level entry, empty when there is no '/').
std::string KivDirOf(const std::string& path);
// Creates a folder and its missing parents (mode 0700); true when it exists afterwards.
bool KivMakeDirs(const std::string& dir);
// "<$XDG var or ~/homeSub>/undelia", created when missing; empty when no home is known.
std::string KivUserDir(const char* pszXdgVar, const char* pszHomeSub);
// Writes all n bytes (retrying short writes and EINTR); false on any failure.
bool KivWriteAll(int fd, const void* pData, size_t n);
