// The filter of the result list: a name key, size limits and time ranges. The filter dialog sets
// one size test ("More than" / "Less than") and one date test ("Create" / "Modify"); the command
// line may set both limits and both ranges, which then must all pass.
#pragma once

#include <cstdint>
#include <string>

#include "KivScanResult.h"

class CKivResultFilter {
public:
    enum SizeKind { SIZE_MORE_THAN = 0, SIZE_LESS_THAN = 1 };
    enum DateKind { DATE_CREATE = 0, DATE_MODIFY = 1 };
    enum SizeUnit { UNIT_BYTES = 0, UNIT_KB = 1, UNIT_MB = 2, UNIT_GB = 3 };

    // A file passes when its name, upper-cased, contains the key, upper-cased (empty: no test).
    void SetKey(const std::string& strKey);
    // The dialog's size test: value × unit (1, 1024, 1024², 1024³) bytes; "More than" passes sizes
    // strictly greater, "Less than" strictly smaller. False when the limit does not fit 64 bits.
    bool SetSizeTest(SizeKind kind, uint64_t nValue, SizeUnit unit);
    void SetLargerThan(uint64_t nBytes);
    void SetSmallerThan(uint64_t nBytes);
    // The dialog's date test: start <= time <= end (file times, UTC). A file without the time
    // (0) fails it.
    void SetDateTest(DateKind kind, uint64_t nStart, uint64_t nEnd);
    void ClearTests();

    // The filter test of one engine node. A node without attribute or name skips the key test; it
    // cannot pass a size or time test.
    bool Accepts(IKivFileNode* pNode) const;
    bool IsEmpty() const;

    static uint64_t UnitBytes(SizeUnit unit);

private:
    struct Range {
        bool bOn = false;
        uint64_t nStart = 0, nEnd = 0;
    };
    std::string m_strKey;
    bool m_bLarger = false, m_bSmaller = false;
    uint64_t m_nLarger = 0, m_nSmaller = 0;
    Range m_created, m_modified;
};
