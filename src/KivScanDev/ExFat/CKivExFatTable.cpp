#include "CKivExFatTable.h"

#include <algorithm>

#include "KivByteReader.h"

bool CKivExFatTable::Load(IKivDevStor* pStor, uint64_t nFirstSector, uint32_t nClusters) {
    m_entries.clear();
    uint64_t nEntries = uint64_t(nClusters) + 2;
    uint32_t z = pStor ? pStor->GetSectorSize() : 0;
    if (!pStor || z < 512 || z % 4 || nEntries > kMaxEntries) return false;
    uint64_t nSecs = (nEntries * 4 + z - 1) / z;
    uint64_t nDev = pStor->GetSectorCount();
    if (nFirstSector >= nDev || nSecs > nDev - nFirstSector) return false;

    std::vector<uint32_t> entries(nEntries);
    const uint64_t nPiece = std::max<uint64_t>(1, (1u << 20) / z);
    std::vector<uint8_t> buf(size_t(nPiece) * z);
    uint64_t nDone = 0;  // entries
    for (uint64_t s = 0; s < nSecs; s += nPiece) {
        uint64_t n = std::min(nPiece, nSecs - s);
        if (!pStor->ReadSectors(buf.data(), nFirstSector + s, n)) return false;
        KivByteReader r(buf.data(), size_t(n) * z);
        for (size_t off = 0; nDone < nEntries && r.Has(off, 4); off += 4) entries[nDone++] = r.U32At(off);
    }
    if (!IsTableStart(entries[0], entries[1])) return false;
    m_entries = std::move(entries);
    return true;
}

uint32_t CKivExFatTable::Next(uint32_t nCluster) const {
    uint32_t v = Entry(nCluster);
    if (v < 2 || v >= kBad || v >= m_entries.size()) return 0;
    return v;
}
