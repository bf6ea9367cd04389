#include "Analysers/FileGIFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileGIFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileGIFAnalyser() { return new FileGIFAnalyser; }
