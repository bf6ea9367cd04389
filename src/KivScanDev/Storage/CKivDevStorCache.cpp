#include "CKivDevStorCache.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "KivAllocSize.h"
#include "KivLog.h"

CKivDevStorCache::CKivDevStorCache(IKivDevStor* pInner)
    : m_pInner(pInner), m_nSectorSize(pInner ? pInner->GetSectorSize() : 512) {
    if (!m_pInner || !m_pInner->Open()) KIV_RETERR(KIV_E_INVALIDARG);
    if (m_nSectorSize == 0) m_nSectorSize = 512;
}

CKivDevStorCache::~CKivDevStorCache() { StopReadAhead(); }

uint64_t CKivDevStorCache::GetSectorCount() { return m_pInner ? m_pInner->GetSectorCount() : 0; }

uint32_t CKivDevStorCache::GetSectorSize() { return m_pInner ? m_nSectorSize : 512; }

int CKivDevStorCache::Open() { return m_pInner ? 1 : 0; }

int CKivDevStorCache::Close() { return m_pInner ? 1 : 0; }

int CKivDevStorCache::SetBlockSectors(uint32_t n) {
    if (!m_pInner || n == 0) return 0;
    StopReadAhead();  // queued blocks have the old size
    m_pCur.reset();
    m_nBlockSectors = n;
    KivAllocSize size(BlockBytes());
    m_pCur.reset(new uint8_t[BlockBytes()]());
    m_nCurBlock = -1;
    m_curBad.clear();
    return 1;
}

bool CKivDevStorCache::IsBlockIndexValid(int64_t i) {
    if (!m_pInner || m_nBlockSectors == 0 || i < 0) return false;
    uint64_t nBlocks = (GetSectorCount() + m_nBlockSectors - 1) / m_nBlockSectors;
    return static_cast<uint64_t>(i) < nBlocks;
}

int CKivDevStorCache::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivDevStorCache::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!m_pInner || !pBuf) return 0;
    if (m_nCurBlock < 0 || !m_pCur) return m_pInner->ReadSectorsEx(pBuf, nFirst, nCount, nFlags, pBad);
    auto* pDst = static_cast<uint8_t*>(pBuf);
    const uint64_t nStart = uint64_t(m_nCurBlock) * m_nBlockSectors;
    // The block holds only what the device has: a request past the device end goes to the inner
    // storage, which refuses it as it would without the cache.
    const uint64_t nEnd = std::min<uint64_t>(nStart + m_nBlockSectors, GetSectorCount());
    KivBadRanges part;
    auto append = [&](const KivBadRanges& r) {
        if (pBad) pBad->insert(pBad->end(), r.begin(), r.end());
    };
    uint64_t k = 0;
    int ok = 1;
    if (nFirst < nStart) {
        // Starts before the block: read from the device up to the block start; the block itself is
        // not used for the rest of the request.
        k = std::min(nCount, nStart - nFirst);
        ok = m_pInner->ReadSectorsEx(pDst, nFirst, k, nFlags, pBad ? &part : nullptr);
        append(part);
        if (k >= nCount) return ok;
    } else if (nFirst < nEnd) {
        k = std::min(nCount, nEnd - nFirst);
        // Sectors the block holds as untried zeros are read again when the caller asks for that.
        bool bRetry = false;
        for (const KivBadRange& r : m_curBad)
            if (r.nKind == KIV_BAD_UNTRIED && r.nFirst < nFirst + k && r.nEnd > nFirst) bRetry = nFlags & KIV_READ_RETRY_UNTRIED;
        if (bRetry) return m_pInner->ReadSectorsEx(pBuf, nFirst, nCount, nFlags, pBad);
        std::memcpy(pDst, m_pCur.get() + (nFirst - nStart) * m_nSectorSize, k * m_nSectorSize);
        if (pBad)
            for (const KivBadRange& r : m_curBad) {
                uint64_t f = std::max(r.nFirst, nFirst), e = std::min(r.nEnd, nFirst + k);
                if (f < e) pBad->push_back({f, e, r.nKind});
            }
        if (k >= nCount) return 1;
    }
    if (!m_pInner->ReadSectorsEx(pDst + k * m_nSectorSize, nFirst + k, nCount - k, nFlags, pBad ? &part : nullptr))
        ok = 0;
    append(part);
    return ok;
}

std::unique_ptr<uint8_t[]> CKivDevStorCache::TakeBuffer() {
    if (!m_spare.empty()) {
        auto p = std::move(m_spare.back());
        m_spare.pop_back();
        return p;
    }
    KivAllocSize size(BlockBytes());
    return std::unique_ptr<uint8_t[]>(new uint8_t[BlockBytes()]);
}

void CKivDevStorCache::FillBlock(uint8_t* p, uint64_t nFirst, KivBadRanges* pBad) {
    uint64_t nSecs = GetSectorCount();
    uint64_t n = nFirst < nSecs ? std::min<uint64_t>(m_nBlockSectors, nSecs - nFirst) : 0;
    pBad->clear();
    if (n && !m_pInner->ReadSectorsEx(p, nFirst, n, 0, pBad)) {
        *pBad = {{nFirst, nFirst + n, KIV_BAD_FAILED}};  // a block refused whole is seen as zeros
        n = 0;
    }
    std::memset(p + n * m_nSectorSize, 0, BlockBytes() - n * m_nSectorSize);
}

int CKivDevStorCache::StartReadAhead(uint64_t nStartSector) {
    if (!m_pInner) return 0;
    if (!m_pCur) SetBlockSectors(m_nBlockSectors);
    StopReadAhead();
    const uint64_t nSecs = GetSectorCount();
    // Blocks are queued whole and aligned, so each one is exactly the block the scan asks for.
    uint64_t next = nStartSector / m_nBlockSectors * m_nBlockSectors;
    std::deque<Block> initial;
    for (size_t i = 0; i < kQueueLimit && next < nSecs; ++i) {
        Block b{next, TakeBuffer(), {}};
        FillBlock(b.data.get(), next, &b.bad);
        initial.push_back(std::move(b));
        next += m_nBlockSectors;
    }
    {
        std::lock_guard<std::mutex> g(m_mtx);
        m_queue = std::move(initial);
        m_nNextSector = next;
        m_bStopAsked = false;
        m_bRunning = next < nSecs;
        m_nDepth = kInitialDepth;
    }
    if (m_bRunning) {
        try {
            m_thread = std::thread(&CKivDevStorCache::ReadAheadThread, this);
        } catch (...) {
            // Without the thread every further block is read when it is asked for.
            std::lock_guard<std::mutex> g(m_mtx);
            m_bRunning = false;
            KIV_RETERR(KIV_E_BIND);
        }
    }
    return 1;
}

void CKivDevStorCache::ReadAheadThread() {
    const uint64_t nSecs = GetSectorCount();
    std::unique_lock<std::mutex> lk(m_mtx);
    for (;;) {
        m_cvSpace.wait(lk, [&] { return m_bStopAsked || m_queue.size() < m_nDepth; });
        if (m_bStopAsked || m_nNextSector >= nSecs) break;
        // m_nNextSector moves on only once the block is queued: a consumer asking for the block in
        // flight waits for it instead of reading it a second time.
        Block b{m_nNextSector, TakeBuffer(), {}};
        lk.unlock();
        FillBlock(b.data.get(), b.nFirst, &b.bad);
        lk.lock();
        if (m_bStopAsked) {
            m_spare.push_back(std::move(b.data));
            break;
        }
        if (m_nNextSector != b.nFirst) {  // the consumer jumped ahead meanwhile
            m_spare.push_back(std::move(b.data));
            continue;
        }
        m_queue.push_back(std::move(b));
        m_nNextSector += m_nBlockSectors;
        m_cvReady.notify_one();
    }
    m_bRunning = false;
    m_cvReady.notify_all();
}

int CKivDevStorCache::SetCurCacheBlock(int64_t i) {
    if (!m_pInner || !IsBlockIndexValid(i)) return 0;
    if (!m_pCur) SetBlockSectors(m_nBlockSectors);
    const uint64_t nFirst = uint64_t(i) * m_nBlockSectors;
    {
        std::unique_lock<std::mutex> lk(m_mtx);
        for (;;) {
            // Blocks before the asked one will never be asked for in a forward scan.
            while (!m_queue.empty() && m_queue.front().nFirst < nFirst) {
                m_spare.push_back(std::move(m_queue.front().data));
                m_queue.pop_front();
                m_cvSpace.notify_one();
            }
            if (!m_queue.empty()) {
                if (m_queue.front().nFirst != nFirst) break;  // a jump backwards: read it directly
                std::swap(m_pCur, m_queue.front().data);
                m_curBad = std::move(m_queue.front().bad);
                m_spare.push_back(std::move(m_queue.front().data));
                m_queue.pop_front();
                m_cvSpace.notify_one();
                m_nCurBlock = i;
                return 1;
            }
            if (!m_bRunning || m_nNextSector > nFirst) break;  // the producer will not bring it
            if (m_nNextSector < nFirst) {
                // A jump ahead: the producer goes on from there instead of reading the gap.
                m_nNextSector = nFirst;
                m_cvSpace.notify_one();
            }
            // A block that keeps the scan waiting means the device is the slower side: let the
            // producer run further ahead to ride out its pauses.
            if (m_cvReady.wait_for(lk, std::chrono::milliseconds(1)) == std::cv_status::timeout &&
                m_nDepth < kQueueLimit + 1) {
                m_nDepth = std::min(kQueueLimit + 1, m_nDepth + 2);
                m_cvSpace.notify_one();
            }
        }
    }
    FillBlock(m_pCur.get(), nFirst, &m_curBad);
    m_nCurBlock = i;
    return 1;
}

int CKivDevStorCache::StopReadAhead() {
    {
        std::lock_guard<std::mutex> g(m_mtx);
        m_bStopAsked = true;
    }
    m_cvSpace.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> g(m_mtx);
    m_queue.clear();
    m_spare.clear();
    m_bRunning = false;
    return 1;
}
