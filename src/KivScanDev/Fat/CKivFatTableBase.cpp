#include "CKivFatTableBase.h"

#include <algorithm>

#include "KivAllocSize.h"

bool KivFat12Start(uint32_t nFirstWord) { return (nFirstWord & 0xFFFFF0u) == 0xFFFFF0u; }
bool KivFat16Start(uint32_t nFirstWord) { return (nFirstWord | 0xC0000000u) == 0xFFFFFFF8u; }
bool KivFat32Start(uint32_t nEntry0, uint32_t nEntry1) {
    return (nEntry0 & 0x0FFFFFFFu) == 0x0FFFFFF8u && ((nEntry1 | 0x0C000000u) & 0x0FFFFFFFu) == 0x0FFFFFFFu;
}

bool CKivFatTableBase::Load(IKivDevStor* pStor, uint64_t nFirstSector, uint32_t nSectorsPerFat) {
    m_data.clear();
    m_unreadable.clear();
    m_nEntries = 0;
    if (!pStor) return false;
    uint32_t nSectorSize = pStor->GetSectorSize();
    if (nSectorSize == 0 || nSectorSize % 512) return false;
    uint64_t nUnits = uint64_t(nSectorsPerFat) * (nSectorSize / 512);
    if (nUnits < m_nMinUnits || nUnits > m_nMaxUnits) return false;
    uint64_t nSecs = pStor->GetSectorCount();
    if (nFirstSector > nSecs || nSectorsPerFat > nSecs - nFirstSector) return false;

    KivAllocSize size(uint64_t(nSectorsPerFat) * nSectorSize);
    std::vector<uint8_t> data(size_t(nSectorsPerFat) * nSectorSize);
    std::vector<bool> unreadable(nSectorsPerFat, false);
    KivBadRanges bad;
    constexpr uint32_t kChunk = 2048;  // sectors per read
    for (uint32_t done = 0; done < nSectorsPerFat;) {
        uint32_t n = std::min(kChunk, nSectorsPerFat - done);
        if (!pStor->ReadSectorsEx(data.data() + size_t(done) * nSectorSize, nFirstSector + done, n, 0, &bad))
            return false;
        for (const KivBadRange& r : bad)
            for (uint64_t s = r.nFirst; s < r.nEnd; ++s) unreadable[s - nFirstSector] = true;
        done += n;
    }
    m_data = std::move(data);
    m_unreadable = std::move(unreadable);
    m_nSectorSize = nSectorSize;
    m_nEntries = static_cast<uint32_t>(uint64_t(m_data.size()) * 8 / m_nEntryBits);
    return true;
}

uint32_t CKivFatTableBase::UnreadableSectors() const {
    return static_cast<uint32_t>(std::count(m_unreadable.begin(), m_unreadable.end(), true));
}

bool CKivFatTableBase::SectorLooksValid(uint32_t i) {
    if (i >= SectorCount()) return false;
    const uint64_t nBits = uint64_t(m_nSectorSize) * 8;
    uint64_t c = (i * nBits + m_nEntryBits - 1) / m_nEntryBits;
    for (; (c + 1) * m_nEntryBits <= (i + 1) * nBits && c < m_nEntries; ++c) {
        if (c < 2) continue;
        uint32_t v = GetEntry(static_cast<uint32_t>(c));
        if (v == KIV_FAT_EOC || v == KIV_FAT_BAD || v == KIV_FAT_FREE) continue;
        if (v == 1 || v == c || v >= m_nEntries) return false;
    }
    return true;
}

void CKivFatTableBase::TakeSector(uint32_t i, const CKivFatTableBase& other) {
    if (i >= SectorCount() || other.m_data.size() != m_data.size() || other.m_nSectorSize != m_nSectorSize) return;
    std::copy_n(other.m_data.begin() + size_t(i) * m_nSectorSize, m_nSectorSize, m_data.begin() + size_t(i) * m_nSectorSize);
    m_unreadable[i] = other.IsSectorUnreadable(i);
}

bool CKivFatTableBase::CheckStructure() {
    if (!IsLoaded() || m_nEntries < 3) return false;
    const uint32_t n = m_nEntries;
    auto isLink = [n](uint32_t v) { return v >= 2 && v < n; };

    std::vector<uint8_t> preds(n, 0);
    for (uint32_t c = 2; c < n; ++c) {
        uint32_t v = GetEntry(c);
        if (v == KIV_FAT_EOC || v == KIV_FAT_BAD || v == KIV_FAT_FREE) continue;
        if (v == 1 || v == c || v >= n) return false;
        if (preds[v]++) return false;  // two chains join
    }
    // With one predecessor at most, every chain either starts at a head or is a closed loop: walk
    // from the heads, then anything linked but never reached sits on a loop.
    std::vector<bool> seen(n, false);
    for (uint32_t c = 2; c < n; ++c) {
        if (preds[c] || !isLink(GetEntry(c))) continue;
        uint64_t nLen = 1;
        for (uint32_t cur = c; isLink(GetEntry(cur)); cur = GetEntry(cur)) {
            seen[cur] = true;
            if (++nLen >= uint64_t(n) - 2) return false;
        }
    }
    for (uint32_t c = 2; c < n; ++c)
        if (!seen[c] && isLink(GetEntry(c))) return false;
    return true;
}
