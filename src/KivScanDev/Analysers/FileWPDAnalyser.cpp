#include "Analysers/FileWPDAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Product and file-type words of the prefix tell documents, graphics and presentations apart;
// the prefix states the file length.
bool FileWPDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "\xFFWPC")) return false;
    KivByteReader r(sector);
    uint32_t a = r.U32At(8), b = r.U32At(14);
    uint32_t nType = 0;
    if (a == 0x01020A01 && b == 0x00050200)
        nType = 64;
    else if (a == 0x00021601 && b == 0x00030000)
        nType = 65;
    else if (a == 0x00010F0F && b == 0x00030000)
        nType = 57;
    uint32_t nSize = r.U32At(20);
    if (!nType || !r.Ok() || nSize == 0) return false;
    pInfo->m_nTypeId = nType;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileWPDAnalyser() { return new FileWPDAnalyser; }
