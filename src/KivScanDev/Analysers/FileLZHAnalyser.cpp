#include "Analysers/FileLZHAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileLZHAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileLZHAnalyser() { return new FileLZHAnalyser; }
