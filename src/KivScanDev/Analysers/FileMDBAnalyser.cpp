#include "Analysers/FileMDBAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileMDBAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMDBAnalyser() { return new FileMDBAnalyser; }
