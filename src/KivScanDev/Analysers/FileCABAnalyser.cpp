#include "Analysers/FileCABAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileCABAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileCABAnalyser() { return new FileCABAnalyser; }
