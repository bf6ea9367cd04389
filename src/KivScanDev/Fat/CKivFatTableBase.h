// What the three table widths share: reading the table from the device, the size limits, and the
// chain-structure check.
#pragma once

#include <vector>

#include "IKivDevStor.h"
#include "IKivFATTable.h"

// The first entries of each table width, as the scan and IsValid recognise a table's start. The
// clean-shutdown and no-error bits of entry 1 (FAT16 bits 15-14, FAT32 bits 27-26) are cleared while
// a volume is mounted, so a volume that was pulled out unmounted still shows its tables.
bool KivFat12Start(uint32_t nFirstWord);                 // media byte F0-FF, then FF FF
bool KivFat16Start(uint32_t nFirstWord);                 // F8 FF, then FF FF (bits 15-14 free)
bool KivFat32Start(uint32_t nEntry0, uint32_t nEntry1);  // 0x0FFFFFF8, 0x0FFFFFFF (bits 27-26 free)

class CKivFatTableBase : public IKivRealFatTable {
public:
    // Reads nSectorsPerFat sectors from nFirstSector. Answers false (and holds no table) when the
    // size lies outside [nMinUnits, nMaxUnits] 512-byte units or the device refuses a read.
    // Sectors that cannot be read hold zeros and are remembered (IsSectorUnreadable).
    bool Load(IKivDevStor* pStor, uint64_t nFirstSector, uint32_t nSectorsPerFat);
    bool IsLoaded() const { return !m_data.empty(); }
    uint32_t SectorCount() const { return m_nSectorSize ? static_cast<uint32_t>(m_data.size() / m_nSectorSize) : 0; }
    bool IsSectorUnreadable(uint32_t i) const { return i < m_unreadable.size() && m_unreadable[i]; }
    uint32_t UnreadableSectors() const;
    // The entries that lie wholly in sector i are each free, an end or bad mark, or a link inside
    // the table that is neither 1 nor the entry's own cluster.
    bool SectorLooksValid(uint32_t i);
    // Takes sector i from the other copy of the same table (same width and size).
    void TakeSector(uint32_t i, const CKivFatTableBase& other);

    // Every cluster from 2: points inside the table (or is an end or bad mark), is not 1, not
    // itself, has at most one predecessor, and no chain loops or spans the whole table.
    bool CheckStructure();

protected:
    CKivFatTableBase(uint32_t nEntryBits, uint32_t nMinUnits, uint32_t nMaxUnits)
        : m_nEntryBits(nEntryBits), m_nMinUnits(nMinUnits), m_nMaxUnits(nMaxUnits) {}
    std::vector<uint8_t> m_data;
    uint32_t m_nEntries = 0;
    uint32_t m_nSectorSize = 0;
    std::vector<bool> m_unreadable;  // by sector of the table

private:
    uint32_t m_nEntryBits;
    uint32_t m_nMinUnits;
    uint32_t m_nMaxUnits;
};
