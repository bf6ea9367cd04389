#include "Analysers/FileLowDocAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Early Word files (the two Word-for-DOS/Windows signatures) state their text end in the header;
// a compound file caught here is sized from its directory position, a coarse fallback for when the
// compound-file analyser could not measure it.
bool FileLowDocAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    uint32_t sig = r.U32At(0);
    uint64_t nSize = 0;
    if (sig == 0x002DA5DB || sig == 0x002EA694) {
        nSize = (uint64_t(r.U32At(292)) + r.U16At(296) + 511) / 512 * 512;
    } else if (sig == 0xE011CFD0) {
        nSize = (uint64_t(r.U32At(48)) + 5) * 512;
    } else {
        return false;
    }
    if (!r.Ok() || nSize == 0) return false;
    pInfo->m_nTypeId = 21;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileLowDocAnalyser() { return new FileLowDocAnalyser; }
