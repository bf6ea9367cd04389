#include "Analysers/FileOLEAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileOLEAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileOLEAnalyser() { return new FileOLEAnalyser; }
