// A mirrored volume: up to two member volumes holding the same data. Each chunk of 63 sectors comes
// from the first member that reads it whole; failing that, sector by sector from the first member
// that has it; a sector no member has stays zero. Reads always succeed.
#pragma once

#include "Ldm/CKivVolDyn.h"

class CKivVolDynMir : public CKivVolDyn {
public:
    static constexpr uint64_t kChunk = 63;

    // Takes the members' references.
    CKivVolDynMir(std::vector<CKivVolDyn*> members, uint64_t nSectors, uint8_t nPartType);

    int ReadInto(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t* pnLost) override;

protected:
    ~CKivVolDynMir() override;

private:
    static std::vector<KivDynExtent> Union(const std::vector<CKivVolDyn*>& members);
    std::vector<CKivVolDyn*> m_members;
};
