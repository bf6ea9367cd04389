// An open file of the platform layer: descriptors on Linux, handles on Windows. Failing calls
// leave the system's reason in errno (POSIX numbers on every platform), as KivFileUtil.h does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CKivFile {
public:
    enum class Mode {
        kRead,         // existing file, reading only
        kReadNonBlocking,  // the same, and a FIFO put in the file's place does not block the open
        kReadWrite,    // existing file, reading and writing
        kCreateNew,    // a new file; fails with EEXIST when the name is taken
        kCreateTrunc,  // created, or emptied when it exists
        kAppend,       // created when missing, every write at the end
        kReadWriteCreate,  // created when missing, reading and writing
        kWriteKeep,    // created when missing, writing, content kept; never blocks on a FIFO
    };
    CKivFile() = default;
    ~CKivFile();
    CKivFile(const CKivFile&) = delete;
    CKivFile& operator=(const CKivFile&) = delete;

    // bNoFollow refuses a symbolic link as the last name (ELOOP).
    bool Open(const std::string& path, Mode mode, bool bNoFollow = false);
    bool IsOpen() const;
    // Reports what closing the file reported (a late write error of a network file system).
    bool Close();

    // Bytes read (0 at the end), -1 on error; short only at the end of the file.
    int64_t Read(void* pBuf, size_t n);
    int64_t ReadAt(uint64_t nOffset, void* pBuf, size_t n);
    bool WriteAll(const void* pData, size_t n);
    bool WriteAllAt(uint64_t nOffset, const void* pData, size_t n);
    bool Seek(uint64_t nOffset);
    // Moves the position on by n bytes (past the end: a hole that reads as zeros).
    bool SeekBy(uint64_t n);
    // A regular file (not a FIFO, device or folder).
    bool IsRegular() const;
    // The first stretch of data at or after byte nFrom, [*pFirst, *pEnd), as the file system
    // tells its holes; false when only a hole follows or the system cannot tell. Moves the position.
    bool FindData(uint64_t nFrom, uint64_t* pFirst, uint64_t* pEnd);
    bool Size(uint64_t* pBytes) const;
    bool Truncate(uint64_t nBytes);
    // The written data is on the medium.
    bool Sync();
    bool SeekEnd();
    // An exclusive byte-range lock on the whole file, however far it grows, against writers of
    // other processes; waits for it.
    bool LockWhole();
    void UnlockWhole();

private:
#ifdef _WIN32
    void* m_h = reinterpret_cast<void*>(-1);
#else
    int m_fd = -1;
#endif
};

// The whole of the folder's entries are on the medium (a rename or a new name in it lasts).
void KivSyncDir(const std::string& dir);
