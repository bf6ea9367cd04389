#include "CKivFatDirSector.h"

#include <algorithm>

#include "CKivFatDirEntry.h"

bool CKivFatDirSector::Test(std::span<const uint8_t> sector) {
    m_bStart = m_bEnded = false;
    m_nOwnCluster = m_nCounted = 0;
    // Most sectors are file data that fails on its first entry; attribute bit 0x40 settles half of
    // them before any decoding.
    if (sector.size() < CKivFatDirEntry::kSize || (sector[11] != CKivFatDirEntry::kAttrLongName && (sector[11] & 0x40)))
        return false;
    bool bDot = false, bDotDot = false;
    bool bHavePrev = false;
    uint32_t nPrevCluster = 0;
    size_t nEntries = sector.size() / CKivFatDirEntry::kSize;
    for (size_t i = 0; i < nEntries; ++i) {
        std::span<const uint8_t> raw = sector.subspan(i * CKivFatDirEntry::kSize, CKivFatDirEntry::kSize);
        CKivFatDirEntry e;
        e.Decode(raw);
        if (!e.IsPlausible(true)) {
            if (m_nCounted == 0 && !(bDot && bDotDot)) return false;
            // The end of a directory is a slot never used: all of it is zero, not just its first
            // byte (which one random byte in 256 would match).
            if (!std::all_of(raw.begin(), raw.end(), [](uint8_t b) { return b == 0; })) return false;
            m_bEnded = true;
            break;
        }
        if (e.IsLongName()) continue;
        if (i == 0 && e.IsDot()) {
            bDot = true;
            m_nOwnCluster = e.FirstCluster();
            continue;
        }
        if (i == 1 && bDot && e.IsDotDot()) {
            bDotDot = true;
            continue;
        }
        ++m_nCounted;
        if (!e.IsDirectory()) {
            uint32_t c = e.FirstCluster();
            if (bHavePrev && c == nPrevCluster) return false;
            bHavePrev = true;
            nPrevCluster = c;
        } else {
            bHavePrev = false;
        }
    }
    m_bStart = bDot && bDotDot;
    return m_bStart || m_nCounted > 0;
}
