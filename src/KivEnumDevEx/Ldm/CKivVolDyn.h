// What every dynamic volume shares: its member extents, its size and layout, the request checks,
// and reads of one extent or one column that count the sectors that came back as zeros (a missing
// disk, or sectors the disk could not read) so redundant layouts can fall back.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "IKivEnumDevEx.h"

// One piece of a volume on a disk, in sectors of that disk.
struct KivDynExtent {
    uint64_t nFirst = 0;    // on the disk
    uint64_t nOffset = 0;   // inside the volume, or inside its column for striped and RAID-5 volumes
    uint64_t nCount = 0;
    IKivDevDisk* pDisk = nullptr;  // borrowed; none when the member disk was not found
    uint64_t nColumn = 0;

    bool operator==(const KivDynExtent&) const = default;
};

class CKivVolDyn : public IKivVolDyn {
public:
    CKivVolDyn(int32_t nLayout, std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType);

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    // Lists the sectors that came back as zeros (all as failed), so that a file on a volume over a
    // failing disk is reported damaged rather than taken as sound.
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override;
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    int IsSameVolume(IKivVolDyn* pOther) override;
    int32_t GetLayoutCode() override { return m_nLayout; }
    int32_t GetFsKindHint() override;
    int GetExtents(std::vector<KivPartExtent>* pOut) override;
    char GetDriveLetter() override { return 0; }  // no drive letters on Linux

    // Reads [nFirst, nFirst + nCount) by the layout's rule and adds to *pnLost the sectors that
    // came back as zeros. The answer is what ReadSectors answers.
    virtual int ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) = 0;

    const std::vector<KivDynExtent>& Extents() const { return m_extents; }

protected:
    ~CKivVolDyn() override = default;

    // Zeroes the destination and checks the request: false when it starts at or past the end or is
    // longer than the volume; otherwise *pnCount is cut at the volume's end.
    bool Begin(uint8_t* p, uint64_t nFirst, uint64_t* pnCount) const;
    // n sectors of one extent from nIn sectors into it.
    void ReadExtent(const KivDynExtent& e, uint64_t nIn, uint64_t n, uint8_t* p, uint64_t* pnLost);
    // n sectors of a column from column offset nOff; false when no extent of the column holds
    // them all (the rest reads as zeros and counts as lost).
    bool ReadColumn(uint64_t nColumn, uint64_t nOff, uint64_t n, uint8_t* p, uint64_t* pnLost);
    // Which sectors of [nFirst, nFirst + nCount), a read that lost some, are zeros: its halves are
    // read again down to single sectors. The member disks remember what they could not read, so
    // only readable sectors are read twice.
    void ListLost(uint64_t nFirst, uint64_t nCount, KivBadRanges* pBad);

    int32_t m_nLayout;
    std::vector<KivDynExtent> m_extents;
    uint64_t m_nSectors;
    uint8_t m_nPartType;
    std::map<uint64_t, std::vector<KivDynExtent>> m_columns;  // by column, by offset
};
