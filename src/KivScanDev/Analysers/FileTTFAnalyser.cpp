#include "Analysers/FileTTFAnalyser.h"

#include <algorithm>
#include <iterator>

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

// A font's tables follow its table directory back to back (each padded to 4 bytes), so the
// directory alone gives the length. At most 31 records keep the directory inside one sector.
bool FileTTFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    static const char* const kTags[] = {"cmap", "glyf", "head", "hhea", "hmtx", "loca", "maxp",
                                        "name", "post", "OS/2", "cvt ", "EBDT", "EBLC", "EBSC",
                                        "fpgm", "gasp", "hdmx", "kern", "LTSH", "prep", "PCLT",
                                        "VDMX", "vhea", "vmtx", "DSIG"};
    KivByteReader r(sector);
    if (r.U32BEAt(0) != 0x00010000) return false;
    uint16_t nCount = r.U16BEAt(4);
    if (nCount < 1 || nCount > 31) return false;
    uint64_t nSize = 12 + 16ull * nCount;
    unsigned nKnown = 0;
    for (uint16_t i = 0; i < nCount; ++i) {
        size_t rec = 12 + 16u * i;
        if (std::any_of(std::begin(kTags), std::end(kTags), [&](const char* t) { return KivBytesAt(sector, rec, t); }))
            ++nKnown;
        nSize += (uint64_t(r.U32BEAt(rec + 12)) + 3) & ~uint64_t(3);
    }
    if (!r.Ok() || 2 * nKnown < nCount) return false;
    pInfo->m_nTypeId = 61;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileTTFAnalyser() { return new FileTTFAnalyser; }
