#include "Analysers/FilePSTAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// The header's version byte tells where the file length is kept (older and wide-character
// stores); unknown versions and an unset length get a fixed megabyte.
bool FilePSTAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "!BDN")) return false;
    KivByteReader r(sector);
    uint8_t nVersion = r.U8At(10);
    uint64_t nSize = 0;
    if (nVersion == 14)
        nSize = r.U32At(168);
    else if (nVersion == 23)
        nSize = r.U32At(184);
    pInfo->m_nTypeId = 52;
    pInfo->m_nSize = nSize ? nSize : 0x100000;
    return true;
}

IRawFileAnalyser* CreateFilePSTAnalyser() { return new FilePSTAnalyser; }
