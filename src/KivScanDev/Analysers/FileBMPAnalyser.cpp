#include "Analysers/FileBMPAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// File header, then an info header of the 40-byte or the 124-byte kind.
bool FileBMPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    if (!KivBytesAt(sector, 0, "BM")) return false;
    uint32_t nInfo = r.U32At(14);
    uint32_t nSize = r.U32At(2);
    if (r.U16At(6) != 0 || r.U16At(8) != 0 || (nInfo != 40 && nInfo != 124) || nSize == 0 || !r.Ok()) return false;
    pInfo->m_nTypeId = 9;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileBMPAnalyser() { return new FileBMPAnalyser; }
