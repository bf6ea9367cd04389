#include "Analysers/FileICOAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Icon and cursor directories: up to 16 entries of 16 bytes, each naming its image's size and
// offset; the images follow the directory, so the file is the directory plus all images.
bool FileICOAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    KivByteReader r(sector);
    uint16_t nKind = r.U16At(2);
    uint16_t nCount = r.U16At(4);
    if (r.U16At(0) != 0 || (nKind != 1 && nKind != 2) || nCount < 1 || nCount > 16 || !r.Ok()) return false;
    uint64_t nSize = 6;
    for (uint16_t i = 0; i < nCount; ++i) {
        size_t e = 6 + 16u * i;
        uint32_t nImage = r.U32At(e + 8);
        if (r.U8At(e + 3) != 0 || r.U16At(e + 6) > 256 || nImage > 0xA00000 || r.U32At(e + 12) > 0xA00000) return false;
        nSize += 16 + uint64_t(nImage);
    }
    if (!r.Ok() || nSize > 0x100000) return false;
    pInfo->m_nTypeId = nKind == 1 ? 32 : 18;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileICOAnalyser() { return new FileICOAnalyser; }
