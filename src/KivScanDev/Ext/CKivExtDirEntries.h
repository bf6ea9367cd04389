// The entries of a linear directory block (also the leaf blocks of a hashed one, and an inline
// directory's bytes): the live ones along the rec_len chain and the deleted ones a grown rec_len
// of the entry before them hides. A rec_len that lies (too short, unaligned, past the block) ends
// the walk of that block; nothing is read outside it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct KivExtDirEntry {
    uint32_t nInode;
    uint8_t nFileType;  // 0 unknown, 1 file, 2 directory, 7 link... (when the volume stores them)
    bool bDeleted;      // found in the slack after a live entry
    std::string name;   // as stored
    bool bBadSum = false;  // the block it was found in fails its checksum
};

class CKivExtDirEntries {
public:
    enum : uint8_t { kTypeFile = 1, kTypeDir = 2, kTypeLink = 7 };

    // nInodes: the volume's inode count (larger inode numbers are no entries).
    explicit CKivExtDirEntries(uint32_t nInodes) : m_nInodes(nInodes) {}

    // Appends the entries of one block of a directory. bDeletedToo: also the hidden ones.
    // Answers false when the block's chain was broken (the entries before the fault are kept).
    bool ParseBlock(std::span<const uint8_t> block, bool bDeletedToo, std::vector<KivExtDirEntry>* pOut) const;

    // Whether an entry of name_len n fits a rec_len: 8 bytes of header, the name, rounded up to 4.
    static uint32_t NeededLength(uint32_t nNameLen) { return (8 + nNameLen + 3) & ~3u; }

private:
    // Hidden entries in the slack [nFrom, nEnd) of a live entry.
    void ParseSlack(std::span<const uint8_t> block, size_t nFrom, size_t nEnd, std::vector<KivExtDirEntry>* pOut) const;
    bool PlausibleName(std::span<const uint8_t> name) const;

    uint32_t m_nInodes;
};
