#include "CKivExtDirEntries.h"

#include "KivByteReader.h"

bool CKivExtDirEntries::PlausibleName(std::span<const uint8_t> name) const {
    if (name.empty()) return false;
    for (uint8_t c : name)
        if (c == 0 || c == '/') return false;
    if (name.size() == 1 && name[0] == '.') return false;
    if (name.size() == 2 && name[0] == '.' && name[1] == '.') return false;
    return true;
}

bool CKivExtDirEntries::ParseBlock(std::span<const uint8_t> block, bool bDeletedToo,
                                   std::vector<KivExtDirEntry>* pOut) const {
    KivByteReader r(block);
    const size_t n = block.size();
    for (size_t off = 0; off + 8 <= n;) {
        uint32_t nInode = r.U32At(off);
        uint32_t nRecLen = r.U16At(off + 4);
        uint8_t nNameLen = r.U8At(off + 6);
        uint8_t nType = r.U8At(off + 7);
        // Blocks of 64 KiB store a rec_len of 65536 as 0 (or 65535).
        if ((nRecLen == 0 || nRecLen == 65535) && n == 65536 && off == 0) nRecLen = 65536;
        if (nRecLen < 8 || nRecLen % 4 || nRecLen > n - off) return false;
        // A node of a hashed directory's index: an empty entry over the whole block, then the index.
        if (off == 0 && nInode == 0 && nRecLen == n && nNameLen == 0 && nType == 0) return true;
        bool bFits = NeededLength(nNameLen) <= nRecLen;
        if (nInode != 0 && (!bFits || nInode > m_nInodes)) return false;
        if (nInode != 0 && nNameLen) {
            auto name = r.SpanAt(off + 8, nNameLen);
            if (PlausibleName(name)) pOut->push_back({nInode, nType, false, std::string(name.begin(), name.end())});
        }
        // The slack after an entry: a live one's, or an unused one's (a deleted first entry of a
        // block loses its inode number but keeps its length, and the entries it hid stay whole).
        if (bDeletedToo) ParseSlack(block, off + (bFits ? NeededLength(nNameLen) : 8), off + nRecLen, pOut);
        off += nRecLen;
    }
    return true;
}

void CKivExtDirEntries::ParseSlack(std::span<const uint8_t> block, size_t nFrom, size_t nEnd,
                                   std::vector<KivExtDirEntry>* pOut) const {
    KivByteReader r(block);
    // Entries start 4-aligned; a deleted one keeps its own rec_len, which may reach past nEnd only
    // when the slack was reused.
    for (size_t off = (nFrom + 3) & ~size_t(3); off + 12 <= nEnd;) {
        uint32_t nInode = r.U32At(off);
        uint32_t nRecLen = r.U16At(off + 4);
        uint8_t nNameLen = r.U8At(off + 6);
        bool bOk = nInode >= 1 && nInode <= m_nInodes && nNameLen > 0 && nRecLen >= NeededLength(nNameLen) &&
                   nRecLen % 4 == 0 && off + NeededLength(nNameLen) <= nEnd;
        if (bOk) {
            auto name = r.SpanAt(off + 8, nNameLen);
            bOk = PlausibleName(name);
            if (bOk) {
                pOut->push_back({nInode, r.U8At(off + 7), true, std::string(name.begin(), name.end())});
                // Its own rec_len may hide more deleted entries after it; keep walking inside the slack.
                off += NeededLength(nNameLen);
                continue;
            }
        }
        off += 4;
    }
}
