#include "Analysers/FileMNYAnalyser.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"

// The database does not state its length; a fixed megabyte covers a typical household file.
bool FileMNYAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 4, "MSISAM Database")) return false;
    pInfo->m_nTypeId = 38;
    pInfo->m_nSize = 0x100000;
    return true;
}

IRawFileAnalyser* CreateFileMNYAnalyser() { return new FileMNYAnalyser; }
