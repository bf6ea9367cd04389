#include "Analysers/FilePNGAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FilePNGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePNGAnalyser() { return new FilePNGAnalyser; }
