#include "Analysers/FileCPTAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileCPTAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileCPTAnalyser() { return new FileCPTAnalyser; }
