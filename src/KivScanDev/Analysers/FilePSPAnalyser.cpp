#include "Analysers/FilePSPAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FilePSPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePSPAnalyser() { return new FilePSPAnalyser; }
