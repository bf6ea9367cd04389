#include "Analysers/FileMOVAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileMOVAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMOVAnalyser() { return new FileMOVAnalyser; }
