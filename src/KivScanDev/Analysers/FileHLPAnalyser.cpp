#include "Analysers/FileHLPAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Help file header: magic, directory start at 4, file size at 12.
bool FileHLPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    uint32_t nSize = r.U32At(12);
    if (r.U32At(0) != 0x00035F3F || nSize <= 511 || nSize < r.U32At(4) || !r.Ok()) return false;
    pInfo->m_nTypeId = 30;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileHLPAnalyser() { return new FileHLPAnalyser; }
