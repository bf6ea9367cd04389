#include "Analysers/FileBMPAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileBMPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileBMPAnalyser() { return new FileBMPAnalyser; }
