#include "Analysers/FileAUAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Big-endian header: header size, then data size (all ones when the writer did not know it).
bool FileAUAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    if (!KivBytesAt(sector, 0, ".snd")) return false;
    uint32_t nHeader = r.U32BEAt(4);
    uint32_t nData = r.U32BEAt(8);
    if (!r.Ok() || nHeader <= 23 || nData == 0xFFFFFFFFu) return false;
    pInfo->m_nTypeId = 7;
    pInfo->m_nSize = uint64_t(nHeader) + nData;
    return true;
}

IRawFileAnalyser* CreateFileAUAnalyser() { return new FileAUAnalyser; }
