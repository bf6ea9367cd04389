// The bad areas of one device: non-overlapping sector ranges, each either failed (read and failed)
// or untried (written off near a damaged region without a read). Neighbours of the same kind are
// joined, so the map stays as short as the damage allows. Not locked: its owner serialises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "IKivDevStor.h"

class CKivBadAreaMap {
public:
    struct Area {
        uint64_t nEnd = 0;
        uint32_t nKind = KIV_BAD_FAILED;
        bool bNoRetry = false;  // untried, and a retry already gave up on it
        bool bImported = false;  // failed because the map was told so, never by a read
    };

    // The area holding nSector, or null; *pNextStart (when not null) gets the first sector of the
    // next area after nSector (UINT64_MAX when none).
    const Area* Find(uint64_t nSector, uint64_t* pFirst, uint64_t* pNextStart) const;
    bool Overlaps(uint64_t nFirst, uint64_t nEnd) const;

    // [nFirst, nEnd) failed: replaces whatever was recorded there.
    void MarkFailed(uint64_t nFirst, uint64_t nEnd, bool bImported = false);
    // [nFirst, nEnd) written off untried, only where nothing is recorded yet.
    void MarkUntried(uint64_t nFirst, uint64_t nEnd);
    // [nFirst, nEnd) read fine after all.
    void Clear(uint64_t nFirst, uint64_t nEnd);
    // Untried areas inside [nFirst, nEnd) are not to be tried again.
    void GiveUpRetry(uint64_t nFirst, uint64_t nEnd);

    // The areas as ranges, clipped to [nFirst, nEnd).
    void List(KivBadRanges* pOut, uint64_t nFirst = 0, uint64_t nEnd = UINT64_MAX) const;
    bool Empty() const { return m_areas.empty(); }
    size_t Size() const { return m_areas.size(); }

private:
    using Map = std::map<uint64_t, Area>;
    // Cuts the area that straddles nAt into two, so nAt starts an area or lies in none.
    void Split(uint64_t nAt);
    // Joins the area at it with its neighbours when they touch and agree.
    void Join(Map::iterator it);
    static bool Same(const Area& a, const Area& b) {
        return a.nKind == b.nKind && a.bNoRetry == b.bNoRetry && a.bImported == b.bImported;
    }
    void Assign(uint64_t nFirst, uint64_t nEnd, const Area* pArea);  // null: clear

    Map m_areas;  // first sector -> area
};
