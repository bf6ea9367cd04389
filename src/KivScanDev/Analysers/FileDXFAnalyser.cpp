#include "Analysers/FileDXFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileDXFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileDXFAnalyser() { return new FileDXFAnalyser; }
