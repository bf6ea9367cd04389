#include "Analysers/FileCABAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Cabinet header: reserved fields zero, format version 1.3, cabinet size at 8.
bool FileCABAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    if (!KivBytesAt(sector, 0, "MSCF")) return false;
    uint32_t nSize = r.U32At(8);
    if (r.U32At(4) != 0 || r.U32At(12) != 0 || r.U32At(20) != 0 || r.U16At(24) != 0x0103 || nSize == 0 || !r.Ok())
        return false;
    pInfo->m_nTypeId = 10;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileCABAnalyser() { return new FileCABAnalyser; }
