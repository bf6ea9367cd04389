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
    constexpr uint32_t kChunk = 2048;  // sectors per read
    for (uint32_t done = 0; done < nSectorsPerFat;) {
        uint32_t n = std::min(kChunk, nSectorsPerFat - done);
        if (!pStor->ReadSectors(data.data() + size_t(done) * nSectorSize, nFirstSector + done, n)) return false;
        done += n;
    }
    m_data = std::move(data);
    m_nEntries = static_cast<uint32_t>(uint64_t(m_data.size()) * 8 / m_nEntryBits);
    return true;
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
