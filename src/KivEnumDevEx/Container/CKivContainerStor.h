// The virtual disk of an image container as a store of sectors: read through the bad-area reader
// (a chunk whose checksum fails reads as a failed area, like a bad sector), its unallocated areas
// told as holes.
#pragma once

#include <memory>

#include "CKivContainer.h"
#include "CKivSectorReader.h"
#include "IKivDevStor.h"

class CKivContainerStor : public IKivDevStor {
public:
    // nSectorSize 0: the container's own.
    CKivContainerStor(std::unique_ptr<CKivContainer> pContainer, uint32_t nSectorSize);

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override;
    int AddBadAreas(const KivBadRanges& areas) override;
    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSectorSize; }
    int Open() override { return 1; }
    int Close() override { return 1; }
    IKivDevStor* GetBaseStor() override { return nullptr; }

    CKivContainer& Container() { return *m_pContainer; }
    CKivSectorReader& Reader() { return *m_pReader; }

protected:
    ~CKivContainerStor() override = default;

private:
    std::unique_ptr<CKivContainer> m_pContainer;
    std::unique_ptr<CKivSectorReader> m_pReader;
    uint32_t m_nSectorSize = 512;
    uint64_t m_nSectors = 0;
};

// The sector reader over a container: reads go to the container, and a read that met a damaged
// area of it fails, so the reader narrows the damage down to its sectors.
class CKivContainerReader : public CKivSectorReader {
public:
    explicit CKivContainerReader(CKivContainer* pContainer) : m_pContainer(pContainer) {}
    // Attaches the reader to the container's disk (the reader reads no descriptor).
    void AttachContainer() { Attach(kNoDescriptor, m_pContainer->GetInfo().nBytes); }

    // A read of the container by a reader: fails (EIO) when it met damaged chunks, which enter
    // the reader's map as failed sectors.
    int64_t ReadContainer(CKivContainer& c, void* pBuf, uint64_t nOffset, uint64_t nBytes);

protected:
    int64_t RawRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;

private:
    static constexpr int kNoDescriptor = 0x7fffffff;
    CKivContainer* m_pContainer;
};
