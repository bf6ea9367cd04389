#include "Analysers/FileEPSAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// Binary header of an encapsulated PostScript file with a preview: PostScript start and length
// at 4 and 8, metafile preview at 12 and 16, TIFF preview at 20 and 24, checksum at 28 (FF FF when
// none). The file ends with the last of these parts.
bool FileEPSAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    static const uint8_t kMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
    if (!KivBytesAt(sector, 0, kMagic)) return false;
    KivByteReader r(sector);
    uint64_t nPsEnd = uint64_t(r.U32At(4)) + r.U32At(8);
    uint64_t nSize;
    if (KivBytesAt(sector, 28, "\xFF\xFF%!") || KivBytesAt(sector, 28, std::string_view("\xFF\xFF\0\0", 4)))
        nSize = uint64_t(r.U32At(12)) + r.U32At(16) + r.U32At(20) + r.U32At(24);
    else if (KivBytesAt(sector, 28, "\xFF\xFFII"))
        nSize = nPsEnd;
    else
        return false;
    // Without a preview the sum above is 0 although the PostScript part is there.
    if (nSize < nPsEnd) nSize = nPsEnd;
    if (!r.Ok() || nSize == 0) return false;
    pInfo->m_nTypeId = 25;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileEPSAnalyser() { return new FileEPSAnalyser; }
