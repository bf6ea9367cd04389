#include "Analysers/FileASFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileASFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileASFAnalyser() { return new FileASFAnalyser; }
