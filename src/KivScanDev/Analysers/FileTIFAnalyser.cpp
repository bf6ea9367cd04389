#include "Analysers/FileTIFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileTIFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileTIFAnalyser() { return new FileTIFAnalyser; }
