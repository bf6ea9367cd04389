#include "Analysers/FileMIDAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileMIDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMIDAnalyser() { return new FileMIDAnalyser; }
