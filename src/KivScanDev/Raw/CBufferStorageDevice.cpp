#include "Raw/CBufferStorageDevice.h"

#include <algorithm>
#include <cstring>

#include "KivAllocSize.h"
#include "KivByteReader.h"

bool CBufferStorageDevice::Init(IKivDevStor* pInner, uint64_t nFirst, uint32_t nSectorSize, uint32_t nPushSectors,
                                uint32_t nBlocks) {
    Close();
    m_pInner = pInner;
    m_nSectorSize = nSectorSize > 0 ? nSectorSize : 512;
    m_nPush = nPushSectors;
    m_nBlocks = nBlocks;
    m_nFirstHeld = nFirst;
    uint64_t nBytes = 0;
    if (nPushSectors == 0 || nBlocks == 0 || KivMulOverflows(m_nPush, m_nBlocks, &m_nCapacity) ||
        KivMulOverflows(m_nPush, m_nSectorSize, &nBytes) || nBytes > SIZE_MAX)
        return false;
    m_bValid = true;
    return true;
}

std::shared_ptr<uint8_t> CBufferStorageDevice::SpareBlock() {
    if (!m_bValid) return nullptr;
    for (auto it = m_spare.begin(); it != m_spare.end(); ++it)
        if (it->use_count() == 1) {
            auto p = std::move(*it);
            m_spare.erase(it);
            return p;
        }
    size_t nBytes = size_t(m_nPush * m_nSectorSize);
    KivAllocSize size(nBytes);
    return std::shared_ptr<uint8_t>(new uint8_t[nBytes], std::default_delete<uint8_t[]>());
}

void CBufferStorageDevice::Push(const uint8_t* pData, uint64_t nFirst) {
    if (!m_bValid) return;
    std::shared_ptr<uint8_t> p = SpareBlock();
    std::memcpy(p.get(), pData, size_t(m_nPush * m_nSectorSize));
    const uint8_t* q = p.get();
    Append({std::move(p), q, m_nPush, true}, nFirst);
}

void CBufferStorageDevice::PushShared(std::shared_ptr<const uint8_t> hold, const uint8_t* pData, uint64_t nFirst,
                                      uint64_t nValid) {
    if (!m_bValid) return;
    nValid = std::min(nValid, m_nPush);
    if (!hold) {
        std::shared_ptr<uint8_t> p = SpareBlock();
        std::memcpy(p.get(), pData, size_t(nValid * m_nSectorSize));
        std::memset(p.get() + nValid * m_nSectorSize, 0, size_t((m_nPush - nValid) * m_nSectorSize));
        const uint8_t* q = p.get();
        Append({std::move(p), q, m_nPush, true}, nFirst);
        return;
    }
    Append({std::move(hold), pData, nValid, false}, nFirst);
}

void CBufferStorageDevice::Drop(Held& h) {
    if (h.bOwn && h.hold && m_spare.size() < kSpareKept)
        m_spare.push_back(std::const_pointer_cast<uint8_t>(std::move(h.hold)));
    h = Held{};
}

void CBufferStorageDevice::Trim(uint64_t nFrom, size_t nMaxData) {
    size_t nData = 0;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        Held& h = m_blocks[i];
        if (!h.HasData()) continue;
        if (m_nFirstHeld + (i + 1) * m_nPush <= nFrom || nData >= nMaxData)
            Drop(h);
        else
            ++nData;
    }
}

size_t CBufferStorageDevice::GetDataBlocks() const {
    size_t n = 0;
    for (const Held& h : m_blocks) n += h.HasData();
    return n;
}

void CBufferStorageDevice::Append(Held h, uint64_t nFirst) {
    if (nFirst != m_nFirstHeld + m_nHeld) {
        // Restart: the new block becomes the only one held.
        for (Held& old : m_blocks) Drop(old);
        m_blocks.clear();
        m_nFirstHeld = nFirst;
        m_nHeld = 0;
    }
    m_blocks.push_back(std::move(h));
    if (m_nHeld < m_nCapacity) {
        m_nHeld += m_nPush;
    } else {
        m_nFirstHeld += m_nPush;  // the oldest block goes
        Drop(m_blocks.front());
        m_blocks.pop_front();
    }
}

int CBufferStorageDevice::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    bool bHeld = m_bValid && nFirst >= m_nFirstHeld && nFirst - m_nFirstHeld <= m_nHeld &&
                 nCount <= m_nHeld - (nFirst - m_nFirstHeld);
    for (uint64_t at = nFirst - m_nFirstHeld; bHeld && nCount && at < nFirst - m_nFirstHeld + nCount;
         at = at / m_nPush * m_nPush + m_nPush)
        bHeld = m_blocks[size_t(at / m_nPush)].HasData();
    if (bHeld) {
        auto* pOut = static_cast<uint8_t*>(pBuf);
        const size_t z = m_nSectorSize;
        for (uint64_t done = 0; done < nCount;) {
            uint64_t at = nFirst - m_nFirstHeld + done;
            const Held& h = m_blocks[size_t(at / m_nPush)];
            uint64_t in = at % m_nPush;
            uint64_t n = std::min(nCount - done, m_nPush - in);
            uint64_t nData = in < h.nValid ? std::min(n, h.nValid - in) : 0;
            if (nData) std::memcpy(pOut + done * z, h.pData + in * z, size_t(nData) * z);
            if (nData < n) std::memset(pOut + (done + nData) * z, 0, size_t(n - nData) * z);
            done += n;
        }
        return 1;
    }
    return m_pInner ? m_pInner->ReadSectors(pBuf, nFirst, nCount) : 0;
}

int CBufferStorageDevice::Close() {
    m_blocks.clear();
    m_spare.clear();
    m_bValid = false;
    m_nHeld = 0;
    return 1;
}
