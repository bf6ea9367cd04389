#include "Analysers/FileDWGAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileDWGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileDWGAnalyser() { return new FileDWGAnalyser; }
