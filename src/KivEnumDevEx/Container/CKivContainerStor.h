// The virtual disk of an image container as a store of sectors: read through the bad-area reader
// (a chunk whose checksum fails reads as a failed area, like a bad sector), its unallocated areas
// told as holes.
#pragma once

#include <memory>

#include "CKivContainer.h"
#include "CKivReaderStor.h"

class CKivContainerStor : public CKivReaderStor {
public:
    // nSectorSize 0: the container's own.
    CKivContainerStor(std::unique_ptr<CKivContainer> pContainer, uint32_t nSectorSize);

    int FindData(uint64_t nSector, uint64_t* pFirst, uint64_t* pEnd) override;
    int Open() override { return 1; }
    int Close() override { return 1; }

    CKivContainer& Container() { return *m_pContainer; }

protected:
    // The reader reads the container: it goes first.
    ~CKivContainerStor() override { m_pReader.reset(); }

private:
    std::unique_ptr<CKivContainer> m_pContainer;
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
