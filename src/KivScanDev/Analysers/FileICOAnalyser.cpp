#include "Analysers/FileICOAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileICOAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileICOAnalyser() { return new FileICOAnalyser; }
