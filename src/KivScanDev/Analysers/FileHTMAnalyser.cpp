#include "Analysers/FileHTMAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileHTMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileHTMAnalyser() { return new FileHTMAnalyser; }
