// Growable in-memory stream: writes append, reads consume from a cursor.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "KivScanResult.h"

class CKivMemStream : public IKivStream {
public:
    CKivMemStream() = default;
    explicit CKivMemStream(std::span<const uint8_t> data) : m_buf(data.begin(), data.end()) {}

    // A read that asks for more than remains transfers nothing and answers 0.
    int Read(void* pBuf, uint32_t nLen) override;
    int Write(const void* pBuf, uint32_t nLen) override;

    const std::vector<uint8_t>& Data() const { return m_buf; }
    size_t Size() const { return m_buf.size(); }
    size_t ReadPos() const { return m_nReadPos; }
    void Rewind() { m_nReadPos = 0; }
    void Clear() {
        m_buf.clear();
        m_nReadPos = 0;
    }

private:
    std::vector<uint8_t> m_buf;
    size_t m_nReadPos = 0;
};
