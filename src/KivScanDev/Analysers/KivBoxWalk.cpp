#include "Analysers/KivBoxWalk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

struct Brand {
    const char* psz;
    uint32_t nType;
};
constexpr Brand kBrands[] = {
    {"heic", 75}, {"heix", 75}, {"heim", 75}, {"heis", 75}, {"hevc", 75}, {"hevx", 75},
    {"mif1", 75}, {"msf1", 75}, {"avif", 76}, {"avis", 76}, {"crx ", 77},
};

// Box types that stand at the top level of these files.
constexpr const char* kTopLevel[] = {"ftyp", "meta", "moov", "mdat", "free", "skip", "uuid", "moof", "mfra",
                                     "wide", "pnot", "sidx", "styp", "prft", "emsg", "pdin", "meco", "ssix",
                                     "idat", "iinf", "PICT", "junk"};
constexpr unsigned kMaxBoxes = 100000;

}  // namespace

uint32_t KivIsoBrandType(std::span<const uint8_t> sector) {
    if (!KivBytesAt(sector, 4, "ftyp")) return 0;
    for (const Brand& b : kBrands)
        if (KivBytesAt(sector, 8, std::string_view(b.psz, 4))) return b.nType;
    return 0;
}

bool KivMeasureIsoBoxes(CRawFileInfo* pInfo, IKivDevStor* pStor, std::span<const char> required) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    std::vector<bool> seen(required.size() / 4, false);
    uint64_t pos = 0;
    bool bCut = false;
    for (unsigned nBox = 0; nBox < kMaxBoxes && pos < nCap; ++nBox) {
        uint8_t h[16];
        if (!rd.Read(pos, h, 8)) {
            bCut = rd.KnownEnd() == CRawFileReader::kNotFound || pos < rd.KnownEnd();
            break;
        }
        std::span<const uint8_t> hs(h, 8);
        if (std::none_of(std::begin(kTopLevel), std::end(kTopLevel),
                         [&](const char* t) { return KivBytesAt(hs, 4, std::string_view(t, 4)); }))
            break;
        if (nBox == 0 && !KivBytesAt(hs, 4, "ftyp")) return false;
        uint64_t nSize = KivByteReader(h, 8).U32BEAt(0);
        if (nSize == 1) {
            if (!rd.Read(pos + 8, h + 8, 8)) {
                bCut = true;
                break;
            }
            nSize = KivByteReader(h, 16).U64BEAt(8);
            if (nSize < 16) break;
        } else if (nSize == 0) {
            bCut = true;  // runs to the end of a file whose end is not known here
            break;
        } else if (nSize < 8) {
            break;
        }
        for (size_t i = 0; i < seen.size(); ++i)
            if (KivBytesAt(hs, 4, std::string_view(required.data() + 4 * i, 4))) seen[i] = true;
        if (nSize > nCap - pos) {
            pos = nCap;
            bCut = true;
            break;
        }
        // The box must be there to its last byte.
        uint8_t last;
        if (!rd.ReadU8(pos + nSize - 1, last)) {
            pos += nSize;
            bCut = true;
            break;
        }
        pos += nSize;
        if (nBox % 10 == 9) KivPumpMessages();
    }
    if (pos == 0 || std::find(seen.begin(), seen.end(), false) != seen.end()) return false;
    pInfo->m_nSize = std::min({pos, nCap, rd.KnownEnd()});
    if (bCut) pInfo->m_nDamage = kCarveEndNotFound;
    return true;
}
