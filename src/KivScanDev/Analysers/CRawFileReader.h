// Reads a carved file through a window of 128 sectors (plus one sector of overlap, so that any
// structure of up to one sector that starts inside a window can be read without a second load).
// Offsets are relative to the file's first sector. Every access is bounds-checked: what the
// storage cannot deliver (past its end, read errors) answers false / an empty span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "IKivDevStor.h"

class CRawFileReader {
public:
    static constexpr uint64_t kWindowSectors = 128;
    static constexpr uint64_t kNotFound = ~0ull;
    static constexpr size_t kMaxNeedle = 64;

    CRawFileReader() = default;
    CRawFileReader(IKivDevStor* pStor, uint64_t nFirstSector) { Init(pStor, nFirstSector); }

    // pStor is borrowed. Without a storage every read fails.
    void Init(IKivDevStor* pStor, uint64_t nFirstSector);

    // Window size W in bytes (128 sectors; 65,536 without a storage).
    uint64_t WindowBytes() const { return m_nWindow; }

    // The byte at offset, or nullptr when it cannot be read. The pointer stays valid until the next
    // call on this reader and only up to the end of the loaded data: use Window() to read more.
    const uint8_t* ByteAt(uint64_t off);

    // n contiguous bytes at offset (n <= WindowBytes()), or an empty span when they cannot all be
    // read. Valid until the next call on this reader.
    std::span<const uint8_t> Window(uint64_t off, size_t n);

    // The bytes from offset on that one load holds (at least one, at most nMax), for walks that
    // stream through a file; empty when the byte at offset cannot be read. Valid until the next call.
    std::span<const uint8_t> Stream(uint64_t off, uint64_t nMax);

    // Copies n bytes at offset; false when any of them cannot be read.
    bool Read(uint64_t off, void* pDst, size_t n);

    bool ReadU8(uint64_t off, uint8_t& v) { return Read(off, &v, 1); }
    bool ReadU16LE(uint64_t off, uint16_t& v) { return ReadInt(off, 2, false, v); }
    bool ReadU32LE(uint64_t off, uint32_t& v) { return ReadInt(off, 4, false, v); }
    bool ReadU64LE(uint64_t off, uint64_t& v) { return ReadInt(off, 8, false, v); }
    bool ReadU16BE(uint64_t off, uint16_t& v) { return ReadInt(off, 2, true, v); }
    bool ReadU32BE(uint64_t off, uint32_t& v) { return ReadInt(off, 4, true, v); }
    bool ReadU64BE(uint64_t off, uint64_t& v) { return ReadInt(off, 8, true, v); }

    // Offset of the first occurrence of needle (at most kMaxNeedle bytes) starting in [from, end), byte by byte, or kNotFound.
    // Stops early (answering kNotFound and setting *pReadFailed) when the data cannot be read.
    // Calls KivPumpMessages() now and then, as every long walk does.
    uint64_t Find(uint64_t from, uint64_t end, std::string_view needle, bool bIgnoreCase = false,
                  bool* pReadFailed = nullptr);

    // Offset where the storage's data ends, once a read has run into that end; else kNotFound.
    uint64_t KnownEnd() const { return m_nDataEnd; }

private:
    template <typename T>
    bool ReadInt(uint64_t off, size_t n, bool bBigEndian, T& v) {
        uint8_t b[8];
        if (!Read(off, b, n)) return false;
        uint64_t x = 0;
        for (size_t i = 0; i < n; ++i) x = bBigEndian ? (x << 8) | b[i] : x | (uint64_t(b[i]) << (8 * i));
        v = static_cast<T>(x);
        return true;
    }
    // Makes [off, off + 1) readable in the buffer; answers the buffer index of off, or -1.
    int64_t Load(uint64_t off);

    IKivDevStor* m_pStor = nullptr;
    uint64_t m_nFirstSector = 0;
    uint32_t m_nSectorSize = 512;
    uint64_t m_nWindow = 65536;
    uint64_t m_nLoaded = ~0ull;  // number of the loaded window, ~0 = none
    size_t m_nValid = 0;         // bytes of the buffer that hold data
    uint64_t m_nDataEnd = kNotFound;
    std::vector<uint8_t> m_buf;  // 129 sectors
    std::vector<uint8_t> m_scratch;
};
