#include "Analysers/FileONEAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

bool FileONEAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    static const uint8_t kGuid[16] = {0xE4, 0x52, 0x5C, 0x7B, 0x8C, 0xD8, 0xA7, 0x4D,
                                      0xAE, 0xB1, 0x53, 0x78, 0xD0, 0x29, 0x96, 0xD3};
    if (!KivBytesAt(sector, 0, kGuid)) return false;
    KivByteReader r(sector);
    uint32_t nStated = r.U32At(196);
    pInfo->m_nTypeId = 45;
    pInfo->m_nSize = (nStated >= 1 && nStated <= 0x40000000) ? nStated : 0x300000;
    return true;
}

IRawFileAnalyser* CreateFileONEAnalyser() { return new FileONEAnalyser; }
