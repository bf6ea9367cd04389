// A mapfile of GNU ddrescue: the byte ranges of a medium, each rescued ('+') or not ('?' not tried,
// '*' not trimmed, '/' not scraped, '-' bad sector). It is read to learn which parts of an image
// made by ddrescue hold fill instead of data, and written so that a technician can image exactly
// what this program could not read. UI-free; it only touches the mapfile itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IKivDevStor.h"

class CKivDdrescueMap {
public:
    struct Block {
        uint64_t nPos = 0;
        uint64_t nSize = 0;
        char cStatus = '+';
    };

    // Parses mapfile text. False with *pError naming the line when it is not a mapfile.
    bool Parse(const std::string& strText, std::string* pError);
    bool Load(const std::string& strPath, std::string* pError);
    // The text in ddrescue's own layout: comments, the status line, one line per block.
    std::string Format() const;
    // Writes the text through a new file beside strPath that then replaces it.
    bool Save(const std::string& strPath, std::string* pError) const;

    // A map of a medium of nBytes: [0, nRead) rescued, the rest not tried.
    void Reset(uint64_t nBytes, uint64_t nRead);
    // Gives [nPos, nEnd) the status cStatus where it is rescued now; other blocks keep theirs.
    // Past the map's end the map grows with rescued bytes up to nPos.
    void MarkWhereRescued(uint64_t nPos, uint64_t nEnd, char cStatus);
    // The parts not rescued, as failed sector ranges (rounded outward), below nSectors.
    KivBadRanges NotRescued(uint32_t nSectorSize, uint64_t nSectors) const;

    const std::vector<Block>& Blocks() const { return m_blocks; }
    uint64_t End() const { return m_blocks.empty() ? 0 : m_blocks.back().nPos + m_blocks.back().nSize; }

private:
    std::vector<Block> m_blocks;
    uint64_t m_nCurrentPos = 0;
    char m_cCurrentStatus = '?';
    int m_nCurrentPass = 1;  // -1: the status line had no pass (mapfiles of older versions)
    bool m_bChanged = false;  // blocks changed since Parse: neighbours of one status are joined
};
