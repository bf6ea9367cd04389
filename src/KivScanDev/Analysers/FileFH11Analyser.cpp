#include "Analysers/FileFH11Analyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileFH11Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileFH11Analyser() { return new FileFH11Analyser; }
