#include "Analysers/FileHLPAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileHLPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileHLPAnalyser() { return new FileHLPAnalyser; }
