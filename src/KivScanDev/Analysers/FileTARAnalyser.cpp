#include "Analysers/FileTARAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileTARAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileTARAnalyser() { return new FileTARAnalyser; }
