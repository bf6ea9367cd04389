#include "CKivExFatDirSector.h"

#include "CKivExFatEntrySet.h"
#include "KivByteReader.h"

using namespace KivExFat;

bool CKivExFatDirSector::Test(std::span<const uint8_t> bytes, size_t nSectorSize) {
    *this = CKivExFatDirSector();
    if (bytes.size() < nSectorSize || nSectorSize < kEntrySize) return false;
    KivByteReader r(bytes);
    bool bBitmap = false, bUpcase = false;
    for (size_t off = 0; off < nSectorSize;) {
        uint8_t t = r.U8At(off);
        if (t == kTypeEnd) break;  // the rest of the directory is unused
        if (!IsKnownType(t)) return false;
        if ((t | kInUse) == kTypeFile) {
            CKivExFatEntrySet set;
            CKivExFatEntrySet::Status st = set.Parse(bytes, off);
            if (st == CKivExFatEntrySet::kValid) {
                if (off == 0) m_bSetAtStart = true;
                ++m_nSets;
                if (set.IsDirectory() && set.m_nFirstCluster >= 2)
                    m_folders.push_back({set.m_nFirstCluster, set.m_nDataLength});
                off += set.EntryCount() * kEntrySize;
                continue;
            }
            if (st == CKivExFatEntrySet::kCut) break;  // the rest of the sector is that set
            // A broken set: a deleted one partly written over, or no set at all.
            if (t & kInUse) return false;
        } else if (t == kTypeBitmap && !bBitmap) {
            bBitmap = true;
            m_nBitmapCluster = r.U32At(off + 20);
            m_nBitmapBytes = r.U64At(off + 24);
        } else if (t == kTypeUpcase) {
            bUpcase = true;
            m_nUpcaseCluster = r.U32At(off + 20);
            m_nUpcaseBytes = r.U64At(off + 24);
        } else if (t == kTypeLabel && r.U8At(off + 1) > 11) {
            return false;
        }
        off += kEntrySize;
    }
    m_bRoot = bBitmap && bUpcase && m_nBitmapCluster >= 2 && m_nUpcaseCluster >= 2 && m_nBitmapBytes &&
              m_nUpcaseBytes;
    return m_nSets > 0 || m_bRoot;
}
