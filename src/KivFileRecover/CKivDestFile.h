// A recovered file being written: data appended in order, zero ranges left as holes (the file
// system fills them with zeros when it has no holes), the length fixed on close.
#pragma once

#include <cstdint>
#include <string>

#include "platform/KivFile.h"

class CKivDestFile {
public:
    CKivDestFile() = default;
    ~CKivDestFile();
    CKivDestFile(const CKivDestFile&) = delete;
    CKivDestFile& operator=(const CKivDestFile&) = delete;

    // Creates path, replacing an existing file (never following a link); when that fails the
    // file is deleted and created once more.
    bool Create(const std::string& path);
    bool Write(const void* p, size_t n);  // false on a failed or short write
    bool WriteZeros(uint64_t n);          // a hole of n bytes
    // Fixes the length (holes at the end included) and closes; false when either fails.
    bool Close();
    CKivFile& File() { return m_file; }
    uint64_t Length() const { return m_nLength; }
    // The system error of the last call that failed (0 when none failed).
    int Errno() const { return m_nErrno; }

private:
    CKivFile m_file;
    uint64_t m_nLength = 0;
    bool m_bHoleAtEnd = false;
    int m_nErrno = 0;
};
