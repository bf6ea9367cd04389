// The journal (jbd2, also ext3's) as a store of older copies of metadata blocks: every committed
// transaction still in the journal area, whatever the journal's start says, lists the volume blocks
// it logged and holds their copies. Only the copies of the blocks asked for are indexed. The walk
// is linear over the area, so sequence numbers that loop or lie cannot make it go round.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CKivExtDataMap.h"

class CKivExtJournal {
public:
    static constexpr uint32_t kMagic = 0xC03B3998u;
    // A bound on the journal blocks read (the format's largest journals are far below it).
    static constexpr uint64_t kMaxBlocks = 1u << 22;

    using ReadBlock = CKivExtDataMap::ReadBlock;

    // extents: where the journal inode's blocks lie; read: a block of the volume. Indexes the
    // committed copies of the volume blocks in wanted. False when there is no journal to read.
    bool Load(const std::vector<KivExtExtent>& extents, uint32_t nBlockSize, const ReadBlock& read,
              const std::function<bool(uint64_t)>& wanted);
    // The copies of volume block nBlock, newest transaction first.
    std::vector<std::vector<uint8_t>> Copies(uint64_t nBlock) const;
    bool Has(uint64_t nBlock) const { return m_copies.count(nBlock) != 0; }
    size_t IndexedCopies() const { return m_nCopies; }

private:
    struct Copy {
        uint32_t nSeq;
        uint64_t nJournalBlock;  // logical block of the journal
        bool bEscaped;           // its first four bytes were the magic number
    };
    bool ReadLogical(uint64_t nLogical, std::vector<uint8_t>* pOut) const;

    uint32_t m_nBlockSize = 0;
    std::vector<KivExtExtent> m_extents;
    ReadBlock m_read;
    std::unordered_map<uint64_t, std::vector<Copy>> m_copies;
    size_t m_nCopies = 0;
};
