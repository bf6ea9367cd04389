#include "Analysers/FileCHMAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

namespace {
// Directory and stream identifiers of the compiled-help header.
const uint8_t kDirGuid[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
const uint8_t kStreamGuid[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
}  // namespace

// The header section table's first entry (offset 0x1FE) is followed by the file size at 104.
bool FileCHMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    if (!KivBytesAt(sector, 0, "ITSF") || r.U32At(8) != 96 || !KivBytesAt(sector, 24, kDirGuid) ||
        !KivBytesAt(sector, 40, kStreamGuid))
        return false;
    uint64_t nSize = r.U64At(104);
    if (r.U32At(96) != 0x1FE || r.U32At(100) != 0 || r.U32At(112) != 0 || r.U32At(116) != 0 || nSize == 0 || !r.Ok())
        return false;
    pInfo->m_nTypeId = 12;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileCHMAnalyser() { return new FileCHMAnalyser; }
