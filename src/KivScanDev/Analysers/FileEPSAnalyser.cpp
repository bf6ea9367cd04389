#include "Analysers/FileEPSAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileEPSAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileEPSAnalyser() { return new FileEPSAnalyser; }
