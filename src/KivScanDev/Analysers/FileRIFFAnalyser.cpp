#include "Analysers/FileRIFFAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

namespace {
// The form type at 8 and the first chunk id at 12 tell the RIFF family member; tried in order.
uint32_t RiffTypeOf(std::span<const uint8_t> s) {
    auto at = [&](size_t off, const char* t) { return KivBytesAtNoCase(s, off, t); };
    if (at(8, "WAVE") && at(12, "fmt ")) return 63;
    if (at(8, "AVI ") && at(12, "LIST")) return 8;
    if (at(8, "WEBP") && (at(12, "VP8 ") || at(12, "VP8L") || at(12, "VP8X"))) return 83;
    if (at(8, "ACON") && (at(12, "LIST") || at(12, "anih"))) return 4;
    if (at(8, "CMX1") && KivBytesAt(s, 20, "{Corel Binary Meta File}")) return 14;
    if (at(8, "CARC") && at(12, "vrsn")) return 13;
    if (at(8, "CSL2") && at(12, "vrsn")) return 17;
    if (at(12, "vrsn"))
        for (const char* t : {"CDR7", "CDR8", "CDR9", "CDRA", "CDRB", "CDRC"})
            if (at(8, t)) return 11;
    return 55;
}
}  // namespace

bool FileRIFFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "RIFF")) return false;
    KivByteReader r(sector);
    pInfo->m_nTypeId = RiffTypeOf(sector);
    pInfo->m_nSize = uint64_t(r.U32At(4)) + 8;
    return true;
}

IRawFileAnalyser* CreateFileRIFFAnalyser() { return new FileRIFFAnalyser; }
