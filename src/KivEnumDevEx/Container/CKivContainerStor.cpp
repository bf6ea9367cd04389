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

int CKivContainerStor::FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) {
    uint64_t d = 0, e = 0;
    const uint64_t nBytes = m_pContainer->GetInfo().nBytes;
    if (nSector >= m_nSectors || nSector > UINT64_MAX / m_nSectorSize ||
        !m_pContainer->FindData(nSector * m_nSectorSize, &d, &e))
        return IKivDevStor::FindData(nSector, pFirst, pEnd);
    return AnswerData(nSector, d, e, nBytes, pFirst, pEnd);
}
