#include "Analysers/FileMP3Analyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileMP3Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMP3Analyser() { return new FileMP3Analyser; }
