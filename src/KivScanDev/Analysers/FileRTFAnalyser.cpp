#include "Analysers/FileRTFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileRTFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileRTFAnalyser() { return new FileRTFAnalyser; }
