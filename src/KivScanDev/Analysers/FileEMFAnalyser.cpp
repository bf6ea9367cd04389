#include "Analysers/FileEMFAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// The header record carries the " EMF" signature and the file's byte count.
bool FileEMFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    uint32_t nSize = r.U32At(48);
    if (!KivBytesAt(sector, 40, " EMF") || r.U16At(58) != 0 || nSize == 0 || !r.Ok()) return false;
    pInfo->m_nTypeId = 24;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileEMFAnalyser() { return new FileEMFAnalyser; }
