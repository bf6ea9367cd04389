#include "Analysers/File3DSAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// The main chunk's length is the file's length; the editor chunk follows the 6-byte chunk header
// and a 10-byte version chunk.
bool File3DSAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    uint32_t nSize = r.U32At(2);
    if (r.U16At(0) != 0x4D4D || r.U16At(16) != 0x3D3D || nSize == 0 || nSize < r.U32At(18) || !r.Ok())
        return false;
    pInfo->m_nTypeId = 1;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFile3DSAnalyser() { return new File3DSAnalyser; }
