#include "CKivContainerStor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

int64_t CKivContainerReader::RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    return ReadContainer(*m_pContainer, pBuf, nOffset, nBytes);
}

int64_t CKivContainerReader::ReadContainer(CKivContainer& c, void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    int64_t r = c.ReadAt(pBuf, nOffset, nBytes);
    std::vector<std::pair<uint64_t, uint64_t>> damaged;
    if (r > 0 && c.Damaged(nOffset, static_cast<uint64_t>(r), &damaged)) {
        // The damaged chunks enter the map whole, so the sectors around them read on.
        for (const auto& [b, e] : damaged) MarkDamaged(b, e);
        errno = EIO;
        return -1;
    }
    return r;
}

CKivContainerStor::CKivContainerStor(std::unique_ptr<CKivContainer> pContainer, uint32_t nSectorSize)
    : m_pContainer(std::move(pContainer)) {
    const CKivContainer::Info& info = m_pContainer->GetInfo();
    m_nSectorSize = nSectorSize ? nSectorSize : info.nSectorSize ? info.nSectorSize : 512;
    m_nSectors = (info.nBytes + m_nSectorSize - 1) / m_nSectorSize;
    auto pReader = std::make_unique<CKivContainerReader>(m_pContainer.get());
    pReader->SetSectorSize(m_nSectorSize);
    pReader->AttachContainer();
    m_pReader = std::move(pReader);
}

int CKivContainerStor::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivContainerStor::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf) return 0;
    if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) {
        uint64_t nBytes = 0;
        if (!__builtin_mul_overflow(nCount, uint64_t(m_nSectorSize), &nBytes) && nBytes < (1ull << 32))
            std::memset(pBuf, 0, nBytes);
        return 0;
    }
    return m_pReader->Read(pBuf, nFirst, nCount, nFlags, pBad);
}

int CKivContainerStor::GetBadAreas(KivBadRanges* pOut) {
    if (!pOut) return 0;
    *pOut = m_pReader->GetBadAreas();
    return 1;
}

int CKivContainerStor::AddBadAreas(const KivBadRanges& areas) {
    KivBadRanges inside;
    for (const KivBadRange& r : areas)
        if (r.nFirst < m_nSectors && r.nFirst < r.nEnd) inside.push_back({r.nFirst, std::min(r.nEnd, m_nSectors), r.nKind});
    m_pReader->AddBadAreas(inside);
    return 1;
}

int CKivContainerStor::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    uint64_t d = 0, e = 0;
    const uint64_t nBytes = m_pContainer->GetInfo().nBytes;
    if (nSector >= m_nSectors || nSector > UINT64_MAX / m_nSectorSize ||
        !m_pContainer->FindData(nSector * m_nSectorSize, &d, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    // A sector with any stored byte counts as data.
    uint64_t nFirst = d >= nBytes ? m_nSectors : std::max(nSector, d / m_nSectorSize);
    uint64_t nEnd = e >= nBytes ? m_nSectors : (e + m_nSectorSize - 1) / m_nSectorSize;
    if (pFirst) *pFirst = nFirst;
    if (pEnd) *pEnd = std::max(nEnd, nFirst);
    return 1;
}
