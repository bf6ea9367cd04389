// Windows back end of the open file: a handle of CreateFileW, shared for reading and writing as
// the POSIX descriptors of the Linux build are.
#include "platform/KivFile.h"

#include <cerrno>

#include "KivWin32.h"

namespace {
HANDLE H(void* p) { return static_cast<HANDLE>(p); }
constexpr DWORD kMaxChunk = 1u << 30;
}  // namespace

CKivFile::~CKivFile() { Close(); }

bool CKivFile::Open(const std::string& path, Mode mode, bool bNoFollow) {
    Close();
    DWORD access = GENERIC_READ, disp = OPEN_EXISTING;
    switch (mode) {
        case Mode::kRead:
        case Mode::kReadNonBlocking: break;
        case Mode::kReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
        case Mode::kCreateNew: access = GENERIC_WRITE; disp = CREATE_NEW; break;
        case Mode::kCreateTrunc: access = GENERIC_WRITE; disp = CREATE_ALWAYS; break;
        case Mode::kAppend: access = FILE_APPEND_DATA; disp = OPEN_ALWAYS; break;
        case Mode::kReadWriteCreate: access = GENERIC_READ | GENERIC_WRITE; disp = OPEN_ALWAYS; break;
        case Mode::kWriteKeep: access = GENERIC_WRITE; disp = OPEN_ALWAYS; break;
    }
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (bNoFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE h = CreateFileW(KivWinPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disp, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return KivWinFail();
    if (bNoFollow) {
        BY_HANDLE_FILE_INFORMATION bi{};
        if (GetFileInformationByHandle(h, &bi) && (bi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            CloseHandle(h);
            errno = ELOOP;
            return false;
        }
    }
    m_h = h;
    return true;
}

bool CKivFile::IsOpen() const { return H(m_h) != INVALID_HANDLE_VALUE; }

bool CKivFile::Close() {
    if (!IsOpen()) return true;
    bool ok = CloseHandle(H(m_h)) != 0;
    m_h = INVALID_HANDLE_VALUE;
    return ok ? true : KivWinFail();
}

int64_t CKivFile::Read(void* pBuf, size_t n) {
    auto* p = static_cast<char*>(pBuf);
    size_t nDone = 0;
    while (nDone < n) {
        DWORD got = 0, want = static_cast<DWORD>(n - nDone > kMaxChunk ? kMaxChunk : n - nDone);
        if (!ReadFile(H(m_h), p + nDone, want, &got, nullptr)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            KivWinFail();
            return -1;
        }
        if (got == 0) break;
        nDone += got;
    }
    return static_cast<int64_t>(nDone);
}

int64_t CKivFile::ReadAt(uint64_t nOffset, void* pBuf, size_t n) {
    auto* p = static_cast<char*>(pBuf);
    size_t nDone = 0;
    while (nDone < n) {
        OVERLAPPED ov{};
        uint64_t at = nOffset + nDone;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0, want = static_cast<DWORD>(n - nDone > kMaxChunk ? kMaxChunk : n - nDone);
        if (!ReadFile(H(m_h), p + nDone, want, &got, &ov)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            KivWinFail();
            return -1;
        }
        if (got == 0) break;
        nDone += got;
    }
    return static_cast<int64_t>(nDone);
}

bool CKivFile::WriteAll(const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        DWORD put = 0, want = static_cast<DWORD>(n > kMaxChunk ? kMaxChunk : n);
        if (!WriteFile(H(m_h), p, want, &put, nullptr)) return KivWinFail();
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        p += put;
        n -= put;
    }
    return true;
}

bool CKivFile::WriteAllAt(uint64_t nOffset, const void* pData, size_t n) {
    const auto* p = static_cast<const char*>(pData);
    while (n) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(nOffset);
        ov.OffsetHigh = static_cast<DWORD>(nOffset >> 32);
        DWORD put = 0, want = static_cast<DWORD>(n > kMaxChunk ? kMaxChunk : n);
        if (!WriteFile(H(m_h), p, want, &put, &ov)) return KivWinFail();
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        p += put;
        nOffset += put;
        n -= put;
    }
    return true;
}

bool CKivFile::Seek(uint64_t nOffset) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(nOffset);
    return SetFilePointerEx(H(m_h), li, nullptr, FILE_BEGIN) ? true : KivWinFail();
}

bool CKivFile::SeekBy(uint64_t n) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(n);
    if (li.QuadPart < 0) {
        errno = EFBIG;
        return false;
    }
    return SetFilePointerEx(H(m_h), li, nullptr, FILE_CURRENT) ? true : KivWinFail();
}

bool CKivFile::FindData(uint64_t nFrom, uint64_t* pFirst, uint64_t* pEnd) {
    // The holes of a sparse file would take FSCTL_QUERY_ALLOCATED_RANGES; all of it counts as data.
    uint64_t nSize = 0;
    if (!Size(&nSize) || nFrom >= nSize) return false;
    *pFirst = nFrom;
    *pEnd = nSize;
    return true;
}

bool CKivFile::IsRegular() const {
    BY_HANDLE_FILE_INFORMATION bi{};
    return GetFileType(H(m_h)) == FILE_TYPE_DISK && GetFileInformationByHandle(H(m_h), &bi) &&
           !(bi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CKivFile::Size(uint64_t* pBytes) const {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(H(m_h), &li)) return KivWinFail();
    *pBytes = static_cast<uint64_t>(li.QuadPart);
    return true;
}

bool CKivFile::Truncate(uint64_t nBytes) {
    FILE_END_OF_FILE_INFO eof;
    eof.EndOfFile.QuadPart = static_cast<LONGLONG>(nBytes);
    return SetFileInformationByHandle(H(m_h), FileEndOfFileInfo, &eof, sizeof eof) ? true : KivWinFail();
}

bool CKivFile::Sync() { return FlushFileBuffers(H(m_h)) ? true : KivWinFail(); }

bool CKivFile::SeekEnd() {
    LARGE_INTEGER li{};
    return SetFilePointerEx(H(m_h), li, nullptr, FILE_END) ? true : KivWinFail();
}

bool CKivFile::LockWhole() {
    OVERLAPPED ov{};
    return LockFileEx(H(m_h), LOCKFILE_EXCLUSIVE_LOCK, 0, 0xFFFFFFFFu, 0x7FFFFFFFu, &ov) ? true : KivWinFail();
}

void CKivFile::UnlockWhole() {
    OVERLAPPED ov{};
    UnlockFileEx(H(m_h), 0, 0xFFFFFFFFu, 0x7FFFFFFFu, &ov);
}

void KivSyncDir(const std::string&) {
    // NTFS commits a rename with its journal; a folder cannot be flushed as a file can.
}
