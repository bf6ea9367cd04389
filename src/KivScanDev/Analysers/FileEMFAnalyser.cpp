#include "Analysers/FileEMFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileEMFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileEMFAnalyser() { return new FileEMFAnalyser; }
