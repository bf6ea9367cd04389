#include "Analysers/FileWMFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// The metafile header counts the file in 16-bit words.
bool FileWMFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    if (r.U32At(0) != 0x00090001 || r.U16At(16) != 0) return false;
    uint64_t nSize = 2ull * r.U32At(6);
    if (!r.Ok() || nSize == 0) return false;
    pInfo->m_nTypeId = 66;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileWMFAnalyser() { return new FileWMFAnalyser; }
