#include "Analysers/FileJPGAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileJPGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileJPGAnalyser() { return new FileJPGAnalyser; }
