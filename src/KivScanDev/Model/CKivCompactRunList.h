// Data runs as an attribute keeps them: a mapping-pairs byte string (header byte with the length's
// byte count in the low nibble and the start delta's byte count in the high nibble, the length,
// then the signed start delta from the previous run; high nibble 0 = sparse run; a 0 header ends
// the list) plus a 16-bit resident value (0 = ordinary data; otherwise the first run is the place
// of the record holding the data).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "KivScanResult.h"

class CKivCompactRunList {
public:
    CKivCompactRunList();  // no runs, resident value 0

    void Clear();
    // Appends a run (start KIV_SPARSE_RUN for a sparse one) in the shortest encoding. A run of
    // length 0 adds nothing.
    void Append(uint64_t nStart, uint64_t nLength);
    // Takes a mapping-pairs string as found on disk: copies up to and including its 0 header (one is
    // added when the span ends without it). Answers false, keeping the well-formed runs before the
    // fault, when a header is malformed or a run is cut off by the span's end.
    bool SetBytes(std::span<const uint8_t> bytes);
    void SetResidentValue(uint16_t nValue) { m_nResident = nValue; }
    uint16_t GetResidentValue() const { return m_nResident; }

    // The string including its terminating 0.
    std::span<const uint8_t> Bytes() const { return m_bytes; }
    bool HasRuns() const { return m_bytes.size() > 1; }

    // Appends the decoded runs to *pRuns. Answers false (after appending the runs before the
    // fault) when the string is malformed; never reads outside the string.
    bool Decode(std::vector<KivDataRun>* pRuns) const;
    static bool Decode(std::span<const uint8_t> bytes, std::vector<KivDataRun>* pRuns);
    // Byte length of the well-formed part up to and including the 0 header; 0 when malformed.
    static size_t Measure(std::span<const uint8_t> bytes);

    // The caller's run list: non-resident NTFS kind when the resident value is 0 (possibly empty),
    // otherwise the resident kind with the first run (null when there is none).
    IDataRunList* BuildRunList() const;

    // 32-bit byte count (with the terminating 0), the bytes, the 16-bit resident value.
    int Save(IKivStream* pStream) const;
    int Load(IKivStream* pStream);

    bool operator==(const CKivCompactRunList&) const = default;

private:
    std::vector<uint8_t> m_bytes;  // always ends with the 0 header
    uint64_t m_nLastStart = 0;     // running start for Append
    uint16_t m_nResident = 0;
};
