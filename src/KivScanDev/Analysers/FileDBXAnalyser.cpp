#include "Analysers/FileDBXAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"

namespace {
const uint8_t kFolders[16] = {0xCF, 0xAD, 0x12, 0xFE, 0x00, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0};
const uint8_t kMessages[16] = {0xCF, 0xAD, 0x12, 0xFE, 0x30, 0x9D, 0xFE, 0x26, 0x8F, 0x1A, 0xD2, 0x11, 0xAA, 0xBF, 0x00, 0x60};
const uint8_t kJmf[8] = {'J', 'M', 'F', '6', 0x03, 0x00, 0x10, 0x00};

bool IsFolderStore(std::span<const uint8_t> s) {
    if (s.size() < 16 || (s[4] != 0xC5 && s[4] != 0xC6 && s[4] != 0xC7)) return false;
    for (size_t i = 0; i < 16; ++i)
        if (i != 4 && s[i] != kFolders[i]) return false;
    return true;
}
}  // namespace

// Mail store headers (three class identifiers, or the older signature); file size at 124.
bool FileDBXAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!IsFolderStore(sector) && !KivBytesAt(sector, 0, kMessages) && !KivBytesAt(sector, 0, kJmf)) return false;
    KivByteReader r(sector);
    uint32_t nSize = r.U32At(124);
    if (!r.Ok() || nSize == 0) return false;
    pInfo->m_nTypeId = 19;
    pInfo->m_nSize = nSize;
    return true;
}

IRawFileAnalyser* CreateFileDBXAnalyser() { return new FileDBXAnalyser; }
