// Bounds-checked decoding of untrusted bytes. Every read checks against the remaining length
// (written so it cannot overflow); a failed read sets a sticky error and answers 0, so a parser may
// read a whole structure and test Ok() once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class KivByteReader {
public:
    KivByteReader() = default;
    explicit KivByteReader(std::span<const uint8_t> data) : m_data(data) {}
    KivByteReader(const void* p, size_t n) : m_data(static_cast<const uint8_t*>(p), n) {}

    bool Ok() const { return m_ok; }
    size_t Size() const { return m_data.size(); }
    size_t Pos() const { return m_pos; }
    size_t Remaining() const { return m_pos <= m_data.size() ? m_data.size() - m_pos : 0; }
    std::span<const uint8_t> Data() const { return m_data; }

    bool Seek(size_t pos) {
        if (pos > m_data.size()) return Fail();
        m_pos = pos;
        return true;
    }
    bool Skip(size_t n) {
        if (n > Remaining()) return Fail();
        m_pos += n;
        return true;
    }

    // Sequential reads at the cursor.
    uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
    uint64_t U64() { return Take(8); }
    uint16_t U16BE() { return static_cast<uint16_t>(TakeBE(2)); }
    uint32_t U32BE() { return static_cast<uint32_t>(TakeBE(4)); }
    uint64_t U64BE() { return TakeBE(8); }
    bool Bytes(void* pOut, size_t n) {
        if (n > Remaining()) return Fail();
        if (n) std::memcpy(pOut, m_data.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    std::span<const uint8_t> Span(size_t n) {
        if (n > Remaining()) {
            Fail();
            return {};
        }
        auto s = m_data.subspan(m_pos, n);
        m_pos += n;
        return s;
    }

    // Random access that leaves the cursor alone; out-of-range reads answer 0 and set the error.
    uint8_t U8At(size_t off) { return static_cast<uint8_t>(At(off, 1, false)); }
    uint16_t U16At(size_t off) { return static_cast<uint16_t>(At(off, 2, false)); }
    uint32_t U32At(size_t off) { return static_cast<uint32_t>(At(off, 4, false)); }
    uint64_t U64At(size_t off) { return At(off, 8, false); }
    uint16_t U16BEAt(size_t off) { return static_cast<uint16_t>(At(off, 2, true)); }
    uint32_t U32BEAt(size_t off) { return static_cast<uint32_t>(At(off, 4, true)); }
    uint64_t U64BEAt(size_t off) { return At(off, 8, true); }
    // Little-endian unsigned value of 1..8 bytes.
    uint64_t UIntAt(size_t off, size_t n) {
        if (n == 0 || n > 8 || !Has(off, n)) return FailZero();
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint64_t(m_data[off + i]) << (8 * i);
        return v;
    }
    // Little-endian two's-complement value of 1..8 bytes.
    int64_t SIntAt(size_t off, size_t n) {
        uint64_t v = UIntAt(off, n);
        if (n > 0 && n < 8 && (v >> (8 * n - 1)) & 1) v |= ~0ull << (8 * n);
        return static_cast<int64_t>(v);
    }
    bool Has(size_t off, size_t n) const { return off <= m_data.size() && n <= m_data.size() - off; }
    bool Equals(size_t off, const void* p, size_t n) const {
        return Has(off, n) && std::memcmp(m_data.data() + off, p, n) == 0;
    }
    std::span<const uint8_t> SpanAt(size_t off, size_t n) {
        if (!Has(off, n)) {
            Fail();
            return {};
        }
        return m_data.subspan(off, n);
    }

private:
    bool Fail() {
        m_ok = false;
        return false;
    }
    uint64_t FailZero() {
        m_ok = false;
        return 0;
    }
    uint64_t At(size_t off, size_t n, bool be) {
        if (!Has(off, n)) return FailZero();
        uint64_t v = 0;
        if (be)
            for (size_t i = 0; i < n; ++i) v = (v << 8) | m_data[off + i];
        else
            for (size_t i = 0; i < n; ++i) v |= uint64_t(m_data[off + i]) << (8 * i);
        return v;
    }
    uint64_t Take(size_t n) {
        uint64_t v = At(m_pos, n, false);
        if (m_ok) m_pos += n;
        return v;
    }
    uint64_t TakeBE(size_t n) {
        uint64_t v = At(m_pos, n, true);
        if (m_ok) m_pos += n;
        return v;
    }

    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    bool m_ok = true;
};

// Checked arithmetic for sizes and offsets taken from disk.
inline bool KivMulOverflows(uint64_t a, uint64_t b, uint64_t* pOut) { return __builtin_mul_overflow(a, b, pOut); }
inline bool KivAddOverflows(uint64_t a, uint64_t b, uint64_t* pOut) { return __builtin_add_overflow(a, b, pOut); }
