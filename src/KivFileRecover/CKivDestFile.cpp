#include "CKivDestFile.h"

#include <cerrno>

#include "platform/KivFileUtil.h"

CKivDestFile::~CKivDestFile() = default;

bool CKivDestFile::Create(const std::string& path) {
    m_nLength = 0;
    m_bHoleAtEnd = false;
    m_nErrno = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt) KivRemoveFile(path);
        // Not emptied on open: truncating even an empty file makes ext4 flush it on close, which
        // costs a third of the copy speed; only a file with content is cut. A FIFO planted under
        // the name does not block the open; anything but a regular file is refused.
        if (!m_file.Open(path, CKivFile::Mode::kWriteKeep, true)) {
            m_nErrno = errno;
            continue;
        }
        uint64_t nSize = 0;
        if (!m_file.IsRegular()) {
            m_nErrno = EEXIST;  // something that is not a file holds the name
        } else if (!m_file.Size(&nSize)) {
            m_nErrno = errno;
        } else if (nSize == 0 || m_file.Truncate(0)) {
            m_nErrno = 0;
            return true;
        } else {
            m_nErrno = errno;
        }
        m_file.Close();
    }
    return false;
}

bool CKivDestFile::Write(const void* p, size_t n) {
    if (!m_file.WriteAll(p, n)) {
        m_nErrno = errno ? errno : EIO;
        return false;
    }
    m_nLength += n;
    if (n) m_bHoleAtEnd = false;
    return true;
}

bool CKivDestFile::WriteZeros(uint64_t n) {
    if (n == 0) return true;
    if (n > static_cast<uint64_t>(INT64_MAX) - m_nLength) {
        m_nErrno = EFBIG;
        return false;
    }
    if (!m_file.SeekBy(n)) {
        m_nErrno = errno;
        return false;
    }
    m_nLength += n;
    m_bHoleAtEnd = true;
    return true;
}

bool CKivDestFile::Close() {
    if (!m_file.IsOpen()) return false;
    bool ok = !m_bHoleAtEnd || m_file.Truncate(m_nLength);
    if (!ok) m_nErrno = errno;
    // A delayed write error (a full disk on a network or FUSE file system) shows up here.
    if (!m_file.Close()) {
        if (ok) m_nErrno = errno;
        ok = false;
    }
    return ok;
}
