#include "Analysers/FileCHMAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileCHMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileCHMAnalyser() { return new FileCHMAnalyser; }
