#include "CKivDevStorCache.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "KivAllocSize.h"
#include "KivLog.h"

CKivDevStorCache::CKivDevStorCache(IKivDevStor* pInner)
    : m_pInner(pInner), m_nSectorSize(pInner ? pInner->GetSectorSize() : 512) {
    // A storage that cannot be opened is not used at all: the cache answers as one without an
    // inner storage, and IsReady tells its owner.
    if (!m_pInner || !m_pInner->Open()) {
        KIV_RETERR(KIV_E_INVALIDARG);
        m_pInner = nullptr;
    }
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
    m_pCur = NewBuffer();
    std::memset(m_pCur.get(), 0, BlockBytes());
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

std::shared_ptr<uint8_t> CKivDevStorCache::NewBuffer() {
    KivAllocSize size(BlockBytes());
    constexpr std::align_val_t kAlign{4096};
    auto* p = static_cast<uint8_t*>(::operator new(BlockBytes(), kAlign));
    return std::shared_ptr<uint8_t>(p, [kAlign](uint8_t* q) { ::operator delete(q, kAlign); });
}

std::shared_ptr<uint8_t> CKivDevStorCache::TakeBuffer() {
    std::shared_ptr<uint8_t> found;
    size_t nFree = 0;
    for (size_t i = 0; i < m_spare.size();) {
        // Held here only: no other thread can take it up again.
        if (m_spare[i].use_count() == 1 && (!found || ++nFree > kSpareKept)) {
            if (!found) found = std::move(m_spare[i]);
            m_spare.erase(m_spare.begin() + static_cast<std::ptrdiff_t>(i));  // the extra ones are freed
            continue;
        }
        ++i;
    }
    if (!found) return NewBuffer();
    // The last holder's reads of the buffer come before it is filled again.
    std::atomic_thread_fence(std::memory_order_acquire);
    return found;
}

bool CKivDevStorCache::GetCurBlock(KivScanBlock* pOut) const {
    if (!pOut || !m_pInner || m_nCurBlock < 0 || !m_pCur) return false;
    uint64_t nFirst = uint64_t(m_nCurBlock) * m_nBlockSectors;
    uint64_t nSecs = m_pInner->GetSectorCount();
    pOut->nFirst = nFirst;
    pOut->nCount = nFirst < nSecs ? std::min<uint64_t>(m_nBlockSectors, nSecs - nFirst) : 0;
    pOut->nSectorSize = m_nSectorSize;
    pOut->pData = m_pCur.get();
    pOut->nBlockSectors = m_nBlockSectors;
    pOut->pBad = &m_curBad;
    pOut->hold = m_pCur;
    pOut->bZeros = false;
    return true;
}

bool CKivDevStorCache::StopAsked(bool bProducer) {
    if (bProducer) return m_bStopFlag.load(std::memory_order_relaxed);
    if (!m_fnStop || !m_fnStop()) return false;
    m_bStopFlag = true;  // the producer stops too, at its next piece
    m_cvSpace.notify_all();
    return true;
}

bool CKivDevStorCache::FillBlock(uint8_t* p, uint64_t nFirst, KivBadRanges* pBad, bool bProducer) {
    uint64_t nSecs = GetSectorCount();
    uint64_t n = nFirst < nSecs ? std::min<uint64_t>(m_nBlockSectors, nSecs - nFirst) : 0;
    pBad->clear();
    // In pieces, so that a stop is heard between them even where every read of a failing medium
    // takes long.
    const uint64_t nPiece = std::max<uint64_t>(1, kFillPieceBytes / m_nSectorSize);
    KivBadRanges part;
    for (uint64_t done = 0; done < n;) {
        if (StopAsked(bProducer)) return false;
        uint64_t k = std::min(nPiece, n - done);
        uint8_t* pAt = p + done * m_nSectorSize;
        if (!m_pInner->ReadSectorsEx(pAt, nFirst + done, k, 0, &part)) {
            // A piece refused whole is seen as zeros.
            std::memset(pAt, 0, k * m_nSectorSize);
            part = {{nFirst + done, nFirst + done + k, KIV_BAD_FAILED}};
        }
        for (const KivBadRange& r : part) {
            if (!pBad->empty() && pBad->back().nEnd == r.nFirst && pBad->back().nKind == r.nKind)
                pBad->back().nEnd = r.nEnd;
            else
                pBad->push_back(r);
        }
        done += k;
    }
    std::memset(p + n * m_nSectorSize, 0, BlockBytes() - n * m_nSectorSize);
    return true;
}

int CKivDevStorCache::StartReadAhead(uint64_t nStartSector) {
    if (!m_pInner) return 0;
    if (!m_pCur) SetBlockSectors(m_nBlockSectors);
    StopReadAhead();
    const uint64_t nSecs = GetSectorCount();
    // Blocks are queued whole and aligned, so each one is exactly the block the scan asks for.
    // Every read happens on the producer thread, so that a stop is heard from the first block on.
    uint64_t next = nStartSector / m_nBlockSectors * m_nBlockSectors;
    {
        std::lock_guard<std::mutex> g(m_mtx);
        m_queue.clear();
        m_bStopFlag = false;
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
    bool bHoles = true;
    uint64_t nDataEnd = 0;  // blocks starting before this hold data
    std::unique_lock<std::mutex> lk(m_mtx);
    for (;;) {
        m_cvSpace.wait(lk, [&] { return m_bStopAsked || m_queue.size() < m_nDepth; });
        if (m_bStopAsked || m_nNextSector >= nSecs) break;
        if (bHoles && m_nNextSector >= nDataEnd) {
            // Blocks that lie wholly in a hole are not read: the scan hands them over as zeros.
            uint64_t nAt = m_nNextSector, nData = nAt, nEnd = nSecs;
            lk.unlock();
            bHoles = m_pInner->FindData(nAt, &nData, &nEnd) != 0;
            lk.lock();
            if (m_bStopAsked) break;
            if (m_nNextSector != nAt) continue;  // the consumer jumped meanwhile
            nDataEnd = std::max(nEnd, nAt + 1);
            if (bHoles && nData >= std::min(nAt + m_nBlockSectors, nSecs)) {
                m_nNextSector = nData / m_nBlockSectors * m_nBlockSectors;
                if (m_nNextSector <= nAt) m_nNextSector = nAt + m_nBlockSectors;
                continue;
            }
        }
        // m_nNextSector moves on only once the block is queued: a consumer asking for the block in
        // flight waits for it instead of reading it a second time.
        Block b{m_nNextSector, TakeBuffer(), {}};
        lk.unlock();
        bool bFilled = FillBlock(b.data.get(), b.nFirst, &b.bad, true);
        lk.lock();
        if (m_bStopAsked || !bFilled) {
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
            if (StopAsked(false)) return 0;
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
    // Into a buffer of its own: the one that was current may still be held by a scanner.
    std::shared_ptr<uint8_t> pNew;
    {
        std::lock_guard<std::mutex> g(m_mtx);
        pNew = TakeBuffer();
        m_spare.push_back(std::move(m_pCur));
    }
    m_pCur = std::move(pNew);
    if (!FillBlock(m_pCur.get(), nFirst, &m_curBad, false)) {
        m_nCurBlock = -1;  // what the buffer holds is part of no block
        return 0;
    }
    m_nCurBlock = i;
    return 1;
}

int CKivDevStorCache::StopReadAhead() {
    {
        std::lock_guard<std::mutex> g(m_mtx);
        m_bStopAsked = true;
        m_bStopFlag = true;
    }
    m_cvSpace.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> g(m_mtx);
    m_queue.clear();
    m_spare.clear();
    m_bRunning = false;
    return 1;
}
