#include "Analysers/FileCRWAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileCRWAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileCRWAnalyser() { return new FileCRWAnalyser; }
