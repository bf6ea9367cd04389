#include "Analysers/FileMP4Analyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileMP4Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMP4Analyser() { return new FileMP4Analyser; }
