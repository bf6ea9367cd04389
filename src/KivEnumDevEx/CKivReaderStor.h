// A store of sectors read through the bad-area reader: the range check of a read, the map of bad
// areas within the store and the answer for data runs, as disk image files and the virtual disks
// of containers share them.
#pragma once

#include <memory>

#include "CKivSectorReader.h"
#include "IKivDevStor.h"

class CKivReaderStor : public IKivDevStor {
public:
    // Reads inside the store; a read that runs past its end fails (0) with a zeroed destination.
    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override;
    int AddBadAreas(const KivBadRanges& areas) override;
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    CKivSectorReader& Reader() { return *m_pReader; }

    // The parts of areas that lie within a store of nSectors: areas beyond its end are of no use
    // to anyone reading it.
    static KivBadRanges Within(const KivBadRanges& areas, uint64_t nSectors);

protected:
    explicit CKivReaderStor(std::unique_ptr<CKivSectorReader> pReader = nullptr) : m_pReader(std::move(pReader)) {}
    ~CKivReaderStor() override = default;

    // FindData's answer from the stored bytes [nDataAt, nDataEnd) found at or after nSector, in
    // a store of nBytes: a sector with any stored byte counts as data.
    int AnswerData(uint64_t nSector, uint64_t nDataAt, uint64_t nDataEnd, uint64_t nBytes, uint64_t* pFirst,
                   uint64_t* pEnd) const;

    std::unique_ptr<CKivSectorReader> m_pReader;
    uint32_t m_nSectorSize = 512;
    uint64_t m_nSectors = 0;
};
