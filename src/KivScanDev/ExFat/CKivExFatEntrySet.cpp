#include "CKivExFatEntrySet.h"

#include <algorithm>
#include <ctime>

#include "KivByteReader.h"
#include "platform/KivPlatform.h"

namespace KivExFat {

bool IsKnownType(uint8_t nType) {
    switch (nType | kInUse) {
        case kTypeBitmap:
        case kTypeUpcase:
        case kTypeLabel:
        case kTypeFile:
        case kTypeGuid:
        case kTypePadding:
        case kTypeStream:
        case kTypeName:
        case kTypeVendorExt:
        case kTypeVendorAlloc: return true;
        default: return false;
    }
}

uint64_t TimeToFileTime(uint32_t nStamp, uint8_t n10ms, uint8_t nUtcOffset) {
    int nSec = (nStamp & 0x1F) * 2, nMin = (nStamp >> 5) & 0x3F, nHour = (nStamp >> 11) & 0x1F;
    int nDay = (nStamp >> 16) & 0x1F, nMonth = (nStamp >> 21) & 0xF, nYear = 1980 + int(nStamp >> 25);
    if (nDay == 0 || nMonth == 0 || nMonth > 12 || nHour > 23 || nMin > 59 || nSec > 59 || n10ms > 199) return 0;
    std::tm tm{};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMin;
    tm.tm_sec = nSec;
    std::time_t t;
    if (nUtcOffset & 0x80) {
        // Seven-bit signed count of 15-minute steps that local time is ahead of UTC.
        int nSteps = (nUtcOffset & 0x40) ? int(nUtcOffset & 0x7F) - 128 : int(nUtcOffset & 0x7F);
        t = static_cast<std::time_t>(KivTimeFromUtc(&tm)) - std::time_t(nSteps) * 15 * 60;
    } else {
        tm.tm_isdst = -1;
        t = std::mktime(&tm);
    }
    if (t == static_cast<std::time_t>(-1)) return 0;
    return KivUnixToFileTime(t) + uint64_t(n10ms) * 100000;  // 10 ms in 100 ns units
}

}  // namespace KivExFat

using namespace KivExFat;

uint16_t CKivExFatEntrySet::Checksum(std::span<const uint8_t> entries, size_t nEntries, bool bRestoreInUse) {
    uint16_t nSum = 0;
    size_t nBytes = std::min(entries.size(), nEntries * kEntrySize);
    for (size_t i = 0; i < nBytes; ++i) {
        if (i == 2 || i == 3) continue;
        uint8_t b = entries[i];
        if (bRestoreInUse && i % kEntrySize == 0) b |= kInUse;
        nSum = static_cast<uint16_t>(((nSum & 1) ? 0x8000 : 0) + (nSum >> 1) + b);
    }
    return nSum;
}

CKivExFatEntrySet::Status CKivExFatEntrySet::Parse(std::span<const uint8_t> data, size_t nOff) {
    KivByteReader r(data);
    if (!r.Has(nOff, kEntrySize) || (r.U8At(nOff) | kInUse) != kTypeFile) return kNotFile;
    m_bInUse = (r.U8At(nOff) & kInUse) != 0;
    m_nSecondaries = r.U8At(nOff + 1);
    if (m_nSecondaries < 2 || m_nSecondaries > 18) {
        m_nSecondaries = 0;  // a count that cannot be: the set is this one entry
        return kBroken;
    }
    if (!r.Has(nOff, EntryCount() * kEntrySize)) return kCut;
    std::span<const uint8_t> set = data.subspan(nOff, EntryCount() * kEntrySize);
    if (Checksum(set, EntryCount(), !m_bInUse) != r.U16At(nOff + 2)) return kBroken;

    m_nAttributes = r.U16At(nOff + 4);
    m_nCreate = r.U32At(nOff + 8);
    m_nModify = r.U32At(nOff + 12);
    m_nAccess = r.U32At(nOff + 16);
    m_nCreate10ms = r.U8At(nOff + 20);
    m_nModify10ms = r.U8At(nOff + 21);
    m_nCreateUtc = r.U8At(nOff + 22);
    m_nModifyUtc = r.U8At(nOff + 23);
    m_nAccessUtc = r.U8At(nOff + 24);

    // Every secondary shares the primary's state; the first is the stream, then the names.
    auto typeAt = [&](size_t i) { return r.U8At(nOff + i * kEntrySize); };
    uint8_t nState = m_bInUse ? kInUse : 0;
    for (size_t i = 1; i < EntryCount(); ++i)
        if ((typeAt(i) & kInUse) != nState || !(typeAt(i) & 0x40)) return kBroken;
    if ((typeAt(1) | kInUse) != kTypeStream) return kBroken;
    size_t s = nOff + kEntrySize;
    m_nStreamFlags = r.U8At(s + 1);
    m_nNameLength = r.U8At(s + 3);
    m_nNameHash = r.U16At(s + 4);
    m_nValidLength = r.U64At(s + 8);
    m_nFirstCluster = r.U32At(s + 20);
    m_nDataLength = r.U64At(s + 24);
    size_t nNameEntries = (m_nNameLength + kNameCharsPerEntry - 1) / kNameCharsPerEntry;
    if (m_nNameLength == 0 || nNameEntries + 1 > m_nSecondaries) return kBroken;
    m_name.clear();
    for (size_t i = 0; i < nNameEntries; ++i) {
        if ((typeAt(2 + i) | kInUse) != kTypeName) return kBroken;
        size_t e = nOff + (2 + i) * kEntrySize;
        for (size_t k = 0; k < kNameCharsPerEntry && m_name.size() < m_nNameLength; ++k)
            m_name.push_back(static_cast<char16_t>(r.U16At(e + 2 + 2 * k)));
    }
    // A name never holds U+0000; what follows one is not part of it.
    if (size_t z = m_name.find(u'\0'); z != std::u16string::npos) m_name.resize(z);
    if (m_name.empty()) return kBroken;
    return r.Ok() ? kValid : kBroken;
}

uint64_t CKivExFatEntrySet::CreationTime() const { return TimeToFileTime(m_nCreate, m_nCreate10ms, m_nCreateUtc); }
uint64_t CKivExFatEntrySet::ModificationTime() const {
    return TimeToFileTime(m_nModify, m_nModify10ms, m_nModifyUtc);
}
uint64_t CKivExFatEntrySet::AccessTime() const { return TimeToFileTime(m_nAccess, 0, m_nAccessUtc); }
