#include "Analysers/FileRARAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileRARAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileRARAnalyser() { return new FileRARAnalyser; }
